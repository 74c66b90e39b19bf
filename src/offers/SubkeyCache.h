#pragma once
// Subkey listings of first-level keys (root, view, "software"), enumerated once and kept for
// the owner's lifetime, so long lists of absent product keys cost one enumeration per root
// and view instead of registry calls per key.
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

class SubkeyCache {
 public:
  using Fill = std::function<std::vector<std::wstring>()>;

  // Whether `name`, in any case, is a direct subkey of root\top in this view. The listing comes
  // from `fill` (lower-case names) on first use; a key without subkeys is listed once too. A
  // fill that raises leaves the entry unfilled (and the error goes to the caller), so the next
  // call tries again.
  bool Contains(HKEY root, REGSAM view, const std::wstring& top, const std::wstring& name, const Fill& fill);

 private:
  using Entry = std::tuple<HKEY, REGSAM, std::wstring>;
  std::map<Entry, std::optional<std::vector<std::wstring>>> m_listings;  // sorted names
};
