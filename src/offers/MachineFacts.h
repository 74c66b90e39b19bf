#pragma once
// What the eligibility checks measure on this machine, behind one seam: tests set the facts
// and count how often each was measured or how often the registry was asked. The system
// implementation makes the real calls.
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32/UniqueResource.h"

// A size in bytes, or the error code of the call that failed.
struct Measurement {
  bool ok = false;
  std::uint64_t bytes = 0;
  DWORD error = 0;
};

struct ProcessorClock {
  enum class Status { kOk, kOpenFailed, kReadFailed };
  Status status = Status::kOpenFailed;
  DWORD mhz = 0;
};

struct FactCounters {
  int freeDiskSpace = 0;
  int totalMemory = 0;
  int processorClock = 0;
  int osVersionTests = 0;
  int is64BitWindows = 0;
  int processLists = 0;
  int clockReads = 0;
  int registryOpens = 0;
  int enumerations = 0;
  int fileProbes = 0;
  int driveTypes = 0;
};

class MachineFacts {
 public:
  virtual ~MachineFacts() = default;

  Measurement FreeDiskSpace();
  Measurement TotalMemory();
  ProcessorClock ProcessorMHz();
  bool IsOsAtLeast(DWORD major, DWORD minor);
  // Empty when the answer could not be had.
  std::optional<bool> Is64BitWindows();
  // Executable names of the running processes; empty when the snapshot failed.
  std::optional<std::vector<std::wstring>> ProcessNames();
  // Seconds since 1970-01-01 UTC.
  std::int64_t Now();
  // Whether a file exists. Only local paths are asked about (IsLocalPath); any other form is
  // absent without a file system call.
  bool FileExists(const std::wstring& path);
  // A fully qualified path on a local drive ("C:\\..."), every component a plain name: no share
  // ("\\\\host", "//host", "\\\\?\\UNC\\"), no device or NT namespace ("\\\\.\\", "\\??\\", "CON"), no
  // stream, no drive that is mapped to the network. A rule may make the elevated wizard look at
  // such a path, never reach out to a network or open a device because of it. Each drive's type
  // is asked once (under Wine the question costs half a millisecond).
  bool IsLocalPath(const std::wstring& path);

  // The registry calls of the checks go through here to be counted.
  LONG OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key);
  std::vector<std::wstring> EnumerateSubkeys(HKEY key);  // raises win32::RegistryError

  const FactCounters& Counters() const { return m_counters; }

 protected:
  virtual Measurement MeasureFreeDiskSpace() = 0;
  virtual Measurement MeasureTotalMemory() = 0;
  virtual ProcessorClock ReadProcessorMHz() = 0;
  virtual bool TestOsAtLeast(DWORD major, DWORD minor) = 0;
  virtual std::optional<bool> Query64BitWindows() = 0;
  virtual std::optional<std::vector<std::wstring>> ListProcesses() = 0;
  virtual std::int64_t ReadClock() = 0;
  virtual bool ProbeFile(const std::wstring& path);
  // The real registry, unless a test models one (two distinct views where Wine shows one).
  virtual LONG OpenRegistryKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key);

 private:
  FactCounters m_counters;
  std::array<UINT, 26> m_driveTypes{};  // by letter; DRIVE_UNKNOWN until asked
};

class SystemMachineFacts : public MachineFacts {
 protected:
  // Free space available to the caller on the drive of the Default User's desktop.
  Measurement MeasureFreeDiskSpace() override;
  Measurement MeasureTotalMemory() override;
  ProcessorClock ReadProcessorMHz() override;
  bool TestOsAtLeast(DWORD major, DWORD minor) override;
  // A 64-bit build runs only on 64-bit Windows; a 32-bit one asks whether it runs under WOW64.
  std::optional<bool> Query64BitWindows() override;
  std::optional<std::vector<std::wstring>> ListProcesses() override;
  std::int64_t ReadClock() override;
};

// "~MHz" of the key, which must be a REG_DWORD.
ProcessorClock ReadProcessorClock(HKEY root, const std::wstring& subkey);
