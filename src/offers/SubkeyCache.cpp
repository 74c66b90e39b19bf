#include "offers/SubkeyCache.h"

#include <algorithm>

#include "offers/RegistryPaths.h"

bool SubkeyCache::Contains(HKEY root, REGSAM view, const std::wstring& top, const std::wstring& name,
                           const Fill& fill) {
  auto& listing = m_listings[Entry(root, view, top)];
  if (!listing) {
    std::vector<std::wstring> names = fill();
    std::sort(names.begin(), names.end());
    listing = std::move(names);
  }
  // Key names compare without case, as the registry compares them; listings are lower case.
  return std::binary_search(listing->begin(), listing->end(), win32::LowerCase(name));
}
