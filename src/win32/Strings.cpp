#include "win32/Strings.h"

#include <stdexcept>
#include <vector>

#include "win32/UniqueResource.h"

namespace win32 {
namespace {

template <typename S, typename V>
std::size_t ReplaceAllImpl(S& text, V from, V to) {
  if (from.empty()) return 0;
  std::size_t count = 0;
  for (std::size_t pos = text.find(from); pos != S::npos; pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
    ++count;
  }
  return count;
}

}  // namespace

std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), size, result.data(), length);
  return result;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string result(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), size, result.data(), length, nullptr, nullptr);
  return result;
}

std::wstring ExceptionText(const std::exception& error) { return Widen(error.what(), kExceptionCodePage); }

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) {
    throw std::runtime_error("MultiByteToWideChar() failed: " + std::to_string(length));
  }
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, result.data(), length);
  return result;
}

std::string WideToUtf8(std::wstring_view text) { return Narrow(text, CP_UTF8); }

std::size_t ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
  return ReplaceAllImpl(text, from, to);
}

std::size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  return ReplaceAllImpl(text, from, to);
}

HINSTANCE ModuleInstance() noexcept { return ::GetModuleHandleW(nullptr); }

std::wstring GetWindowTextString(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::wstring SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  UniqueHlocal owner(buffer);
  if (length == 0 || buffer == nullptr) return {};
  return std::wstring(buffer, length);
}

std::wstring LoadStringResource(UINT id) {
  const wchar_t* text = nullptr;
  // A zero buffer length returns a read-only pointer into the resource itself.
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::wstring(text, static_cast<std::size_t>(length));
}

}  // namespace win32
