#pragma once
// Removes the prefix's MachineGuid value for one test and puts it back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32/UniqueResource.h"

class MachineGuidRemoval {
 public:
  MachineGuidRemoval() {
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                              KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY, m_key.put()),
              ERROR_SUCCESS);
    m_existed = ::RegQueryValueExW(m_key.get(), L"MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(m_saved),
                                   &m_size) == ERROR_SUCCESS;
    ::RegDeleteValueW(m_key.get(), L"MachineGuid");
  }
  ~MachineGuidRemoval() {
    if (m_existed) {
      ::RegSetValueExW(m_key.get(), L"MachineGuid", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_saved), m_size);
    }
  }
  MachineGuidRemoval(const MachineGuidRemoval&) = delete;
  MachineGuidRemoval& operator=(const MachineGuidRemoval&) = delete;

 private:
  win32::UniqueHkey m_key;
  wchar_t m_saved[128] = {};
  DWORD m_size = sizeof(m_saved);
  bool m_existed = false;
};
