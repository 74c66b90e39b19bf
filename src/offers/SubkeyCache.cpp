#include "offers/SubkeyCache.h"

#include <algorithm>

#include "offers/RegistryPaths.h"

namespace {

bool IsAscii(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

}  // namespace

std::optional<bool> SubkeyCache::IsListed(HKEY root, REGSAM view, const std::wstring& top, const std::wstring& name,
                                          const Fill& fill) {
  auto& listing = m_listings[Entry(root, view, top)];
  if (!listing) {
    std::optional<std::vector<std::wstring>> names = fill();
    if (!names) return false;
    Listing filled;
    for (std::wstring& listed : *names) {
      if (!IsAscii(listed)) filled.beyondAscii.push_back(listed.size());
      filled.names.push_back(win32::FoldCase(std::move(listed)));
    }
    std::sort(filled.names.begin(), filled.names.end());
    std::sort(filled.beyondAscii.begin(), filled.beyondAscii.end());
    listing = std::move(filled);
  }
  if (std::binary_search(listing->names.begin(), listing->names.end(), win32::FoldCase(name))) return true;
  // Names the registry calls equal have equal lengths (it folds one UTF-16 unit at a time), and
  // differ beyond A-Z when the fold above missed them.
  if (!IsAscii(name) || std::binary_search(listing->beyondAscii.begin(), listing->beyondAscii.end(), name.size())) {
    return std::nullopt;
  }
  return false;
}
