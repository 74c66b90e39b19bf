#pragma once
// Subkey listings of first-level keys (root, view, "software"), enumerated once and kept for
// the owner's lifetime, so long lists of absent product keys cost one enumeration per root
// and view instead of registry calls per key.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

class SubkeyCache {
 public:
  // Nothing when the key cannot be listed.
  using Fill = std::function<std::optional<std::vector<std::wstring>>()>;

  // Whether `name`, in any case, is a direct subkey of root\top in this view; nothing when only
  // the registry can tell (a case difference beyond A-Z may be one to the registry's own table,
  // which differs between Windows versions). The listing comes from `fill` on first use; a key
  // without subkeys is listed once too. A fill that gives nothing leaves the entry unfilled, so the
  // next call tries again; the name is not listed then.
  std::optional<bool> IsListed(HKEY root, REGSAM view, const std::wstring& top, const std::wstring& name,
                               const Fill& fill);

 private:
  struct Listing {
    std::vector<std::wstring> names;       // A-Z folded, sorted
    std::vector<std::size_t> beyondAscii;  // lengths of the names with other characters, sorted
  };
  using Entry = std::tuple<HKEY, REGSAM, std::wstring>;
  std::map<Entry, std::optional<Listing>> m_listings;
};
