#include "offers/KeyCache.h"

#include "offers/RegistryPaths.h"

namespace {

// A failure for want of resources says nothing about the key: it is asked again next time.
bool IsAnswer(LONG result) {
  return result != ERROR_NOT_ENOUGH_MEMORY && result != ERROR_OUTOFMEMORY && result != ERROR_NO_SYSTEM_RESOURCES;
}

std::size_t TextBytes(const std::wstring& text) { return text.size() * sizeof(wchar_t); }

}  // namespace

bool KeyCache::Exists(HKEY root, REGSAM view, const std::wstring& subkey) {
  return Find(root, view, subkey).result == ERROR_SUCCESS;
}

LONG KeyCache::Open(HKEY root, REGSAM view, const std::wstring& subkey, HKEY& key) {
  Entry& entry = Find(root, view, subkey);
  key = Reopen(entry, root, view, subkey);
  return key ? ERROR_SUCCESS : entry.result;
}

std::optional<win32::RegistryValue> KeyCache::Value(HKEY root, REGSAM view, const std::wstring& subkey,
                                                    const std::wstring& name) {
  Entry& entry = Find(root, view, subkey);
  std::wstring folded = win32::FoldCase(name);
  if (const auto found = entry.values.find(folded); found != entry.values.end()) return found->second;
  const HKEY key = Reopen(entry, root, view, subkey);
  if (!key) return std::nullopt;
  win32::RegistryValue value = win32::ReadValue(key, name);
  if (&entry != &m_unremembered && Remember(TextBytes(folded) + (value.text ? TextBytes(*value.text) : 0))) {
    entry.values.emplace(std::move(folded), value);
  }
  return value;
}

KeyCache::Entry& KeyCache::Find(HKEY root, REGSAM view, const std::wstring& subkey) {
  Name name(root, view, win32::FoldCase(subkey));
  if (m_enabled) {
    if (const auto found = m_entries.find(name); found != m_entries.end()) return found->second;
  }
  Entry fresh;
  fresh.result = m_facts.OpenKey(root, subkey, KEY_READ | view, fresh.key);
  if (!m_enabled || !IsAnswer(fresh.result) || !Remember(TextBytes(std::get<2>(name)))) {
    m_unremembered = std::move(fresh);
    return m_unremembered;
  }
  Entry& entry = m_entries.emplace(std::move(name), std::move(fresh)).first->second;
  if (entry.key) Hold(entry);
  return entry;
}

HKEY KeyCache::Reopen(Entry& entry, HKEY root, REGSAM view, const std::wstring& subkey) {
  if (entry.result != ERROR_SUCCESS) return nullptr;
  if (!entry.key) {
    if (m_facts.OpenKey(root, subkey, KEY_READ | view, entry.key) != ERROR_SUCCESS) return nullptr;
    if (&entry != &m_unremembered) Hold(entry);
  }
  return entry.key.get();
}

// Entries live as long as the cache (std::map nodes do not move), so the queue's pointers hold.
void KeyCache::Hold(Entry& entry) {
  m_holding.push_back(&entry);
  if (m_holding.size() > kMaxOpenKeys) {
    m_holding.front()->key.reset();
    m_holding.pop_front();
  }
}

bool KeyCache::Remember(std::size_t bytes) {
  if (m_rememberedBytes + kEntryBytes + bytes > kMaxRememberedBytes) return false;
  m_rememberedBytes += kEntryBytes + bytes;
  return true;
}
