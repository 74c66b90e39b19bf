// Times one download into a scratch folder and reports the peak working set, so that
// bench/run.py can compare the engine with a bare WinHTTP read loop and with curl, all fetching
// the same URL from the same service.
//   download_bench URL FOLDER [bare|nohash|own]
//     -> "<ok> <seconds> <bytes> <peak working set before> <after>"
// "bare" is the least a WinHTTP client can do: one session, one request, read what is available
// and write it to the file; no redirects, relay, progress or checks. "nohash" and "own" run the
// engine without the file's SHA-256 or with our own SHA-256 instead of the CNG provider's.
#include <windows.h>
// after windows.h, which they need
#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/NetworkPolicy.h"
#include "download/DownloadManager.h"
#include "win32/UniqueResource.h"
#include "win32/WinHttpHandle.h"

namespace {

unsigned long long PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
}

bool BareWinHttpLoop(const std::wstring& url, const std::wstring& path) {
  URL_COMPONENTS parts;
  if (!win32::CrackUrl(url, parts)) return false;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  win32::UniqueWinHttp session(config::OpenWinHttpSession(nullptr));
  win32::UniqueWinHttp connection(session ? ::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0) : nullptr);
  win32::UniqueWinHttp request(connection ? ::WinHttpOpenRequest(connection.get(), L"GET", parts.lpszUrlPath, nullptr,
                                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                                 WINHTTP_FLAG_SECURE)
                                          : nullptr);
  if (!request ||
      !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  win32::UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::vector<char> chunk;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) return false;
    if (available == 0) return true;
    chunk.resize(available);
    DWORD read = 0;
    DWORD written = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), available, &read) ||
        !::WriteFile(file.get(), chunk.data(), read, &written, nullptr)) {
      return false;
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc == 4 ? argv[3] : L"";
  if (argc < 3 || argc > 4 || (argc == 4 && mode != L"bare" && mode != L"nohash" && mode != L"own")) {
    std::fprintf(stderr, "usage: download_bench URL FOLDER [bare|nohash|own]\n");
    return 2;
  }
  DownloadManager manager;
  manager.SetFolders(L"", argv[2]);
  if (mode == L"nohash") manager.m_hashEngine = config::HashEngine::Off;
  if (mode == L"own") manager.m_hashEngine = config::HashEngine::Own;
  const std::wstring barePath = std::wstring(argv[2]) + L"\\bench.bin";
  const unsigned long long before = PeakWorkingSet();
  const auto started = std::chrono::steady_clock::now();
  bool success = false;
  std::wstring written;
  if (mode == L"bare") {
    success = BareWinHttpLoop(argv[1], barePath);
    written = barePath;
  } else {
    const DownloadResult result = manager.DownloadFile(argv[1], nullptr, L"bench.bin", false);
    success = result.success;
    written = manager.m_lastFilePath;
    if (!success) std::fwprintf(stderr, L"%ls\n", result.error.c_str());
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  const unsigned long long after = PeakWorkingSet();

  WIN32_FILE_ATTRIBUTE_DATA data{};
  unsigned long long bytes = 0;
  if (!written.empty() && ::GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &data)) {
    bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  if (!written.empty()) ::DeleteFileW(written.c_str());
  std::printf("%d %.3f %llu %llu %llu\n", success ? 1 : 0, elapsed.count(), bytes, before, after);
  return success ? 0 : 1;
}
