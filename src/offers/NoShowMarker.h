#pragma once
// The registry value that hides an offer for a while once it was shown: a date YYYYMMDD 180
// days ahead, in HKLM's 32-bit view, where the no-show rule reads it.
#include <windows.h>

#include <string>

// Writes "subkey\name" (UTF-8) below HKLM\SOFTWARE only; false when refused or not written.
bool WriteNoShowMarker(const std::string& marker);

// The marker's date: local date 180 days after `now`, as the number YYYYMMDD.
DWORD NoShowMarkerDate(const FILETIME& now);
