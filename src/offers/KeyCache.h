#pragma once
// Keys the evaluator opened and the values it read from them, so that a document's many offers
// open each key once per run and view however often they ask about it. What is remembered is
// bounded (a hostile document may name a great many long keys): past the bound a key is simply
// opened again when asked, and only the newest open keys stay open.
#include <windows.h>

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "offers/MachineFacts.h"
#include "offers/RegistryValues.h"
#include "win32/UniqueResource.h"

class KeyCache {
 public:
  // Bytes of key names, value names and data remembered, each counted with kEntryBytes more.
  static constexpr std::size_t kMaxRememberedBytes = 4 << 20;
  static constexpr std::size_t kEntryBytes = 128;
  static constexpr std::size_t kMaxOpenKeys = 32;

  explicit KeyCache(MachineFacts& facts) : m_facts(facts) {}

  // Whether root\subkey opens for reading in `view` (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
  bool Exists(HKEY root, REGSAM view, const std::wstring& subkey);
  // The key open for reading, valid until the next call, with the result of its open.
  LONG Open(HKEY root, REGSAM view, const std::wstring& subkey, HKEY& key);
  // A value of the key; nothing when the key does not open.
  std::optional<win32::RegistryValue> Value(HKEY root, REGSAM view, const std::wstring& subkey,
                                            const std::wstring& name);

  // Off: every call asks the registry (for comparison).
  void SetEnabled(bool enabled) { m_enabled = enabled; }

 private:
  struct Entry {
    LONG result = ERROR_FILE_NOT_FOUND;
    win32::UniqueHkey key;  // may have been closed to keep the bound
    std::map<std::wstring, win32::RegistryValue> values;
  };
  using Name = std::tuple<HKEY, REGSAM, std::wstring>;  // the subkey case-folded

  Entry& Find(HKEY root, REGSAM view, const std::wstring& subkey);
  // The entry's key, opened again if it was closed; null when it does not open.
  HKEY Reopen(Entry& entry, HKEY root, REGSAM view, const std::wstring& subkey);
  void Hold(Entry& entry);
  bool Remember(std::size_t bytes);

  MachineFacts& m_facts;
  std::map<Name, Entry> m_entries;
  std::deque<Entry*> m_holding;  // entries whose key is open, oldest first
  Entry m_unremembered;          // the last key asked about that is not kept
  std::size_t m_rememberedBytes = 0;
  bool m_enabled = true;
};
