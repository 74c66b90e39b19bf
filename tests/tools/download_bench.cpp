// Times one DownloadFile into a scratch folder and reports the peak working set, so that
// bench/run.py can compare the engine with curl fetching the same URL from the same service.
//   download_bench URL FOLDER   ->   "<ok> <seconds> <bytes> <peak working set before> <after>"
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"

namespace {

unsigned long long PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL FOLDER\n");
    return 2;
  }
  ConfigurationManager::GetInstance()->downloadFolder = argv[2];
  DownloadManager manager;
  const unsigned long long before = PeakWorkingSet();
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result = manager.DownloadFile(argv[1], nullptr, L"bench.bin", false);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  const unsigned long long after = PeakWorkingSet();

  WIN32_FILE_ATTRIBUTE_DATA data{};
  unsigned long long bytes = 0;
  if (::GetFileAttributesExW(manager.m_lastFilePath.c_str(), GetFileExInfoStandard, &data)) {
    bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  if (!manager.m_lastFilePath.empty()) ::DeleteFileW(manager.m_lastFilePath.c_str());
  if (!result.success) std::fwprintf(stderr, L"%ls\n", result.error.c_str());
  std::printf("%d %.3f %llu %llu %llu\n", result.success ? 1 : 0, elapsed.count(), bytes, before, after);
  return result.success ? 0 : 1;
}
