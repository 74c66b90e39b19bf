#include "config/FileNames.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>

namespace config {
namespace {

bool IsReservedDeviceName(std::wstring_view name) {
  // "nul.txt" and "CON .log" open the device just like "NUL" and "CON".
  std::wstring base(name.substr(0, name.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), [](wchar_t c) { return std::towupper(c); });
  static constexpr std::array<std::wstring_view, 4> kPlain = {L"CON", L"PRN", L"AUX", L"NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) && base[3] >= L'1' &&
         base[3] <= L'9';
}

// Characters Windows refuses in a file name, path separators and drive colons included.
bool IsForbidden(wchar_t c) {
  constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";
  return c < 32 || kForbidden.find(c) != std::wstring_view::npos;
}

}  // namespace

std::optional<std::wstring> FileNameProblem(const std::wstring& name) {
  if (name.empty()) return L"The download has no file name.";
  const std::wstring invalid = L"Invalid file name: \"" + name + L"\"";
  if (name == L"." || name == L"..") return invalid;
  if (std::any_of(name.begin(), name.end(), IsForbidden)) return invalid;
  if (name.back() == L'.' || name.back() == L' ') return invalid;
  if (IsReservedDeviceName(name)) return invalid;
  return std::nullopt;
}

std::wstring CleanFileName(const std::wstring& name) {
  std::wstring clean = name;
  std::replace_if(clean.begin(), clean.end(), IsForbidden, L'_');
  // Windows would strip these itself and create another name than the one asked for.
  while (!clean.empty() && (clean.back() == L'.' || clean.back() == L' ')) clean.pop_back();
  if (IsReservedDeviceName(clean)) clean.insert(clean.begin(), L'_');
  return clean;
}

}  // namespace config
