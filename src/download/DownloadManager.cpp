#include "download/DownloadManager.h"

#include <shlwapi.h>

#include <mutex>
#include <utility>

#include "config/BuildSettings.h"
#include "config/FileNames.h"
#include "config/NetworkPolicy.h"
#include "download/DownloadError.h"
#include "download/FileDownload.h"
#include "download/ResumeRules.h"
#include "download/TargetPath.h"
#include "download/TransferSink.h"
#include "download/WinHttpTransfer.h"
#include "download/WinInetTransfer.h"
#include "win32/DebugLog.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace {

using download::TransferSink;

class MemorySink final : public TransferSink {
 public:
  explicit MemorySink(std::vector<char>& buffer) : m_buffer(buffer) {}
  void OnLength(std::optional<DWORD> length) override {
    if (length && *length > DownloadManager::kMaxMemoryBytes) TooLarge();
  }
  void OnData(const char* data, DWORD size) override {
    if (size > DownloadManager::kMaxMemoryBytes - m_buffer.size()) TooLarge();
    m_buffer.insert(m_buffer.end(), data, data + size);
  }

 private:
  [[noreturn]] static void TooLarge() {
    throw DownloadError(L"Response larger than " + std::to_wstring(DownloadManager::kMaxMemoryBytes) + L" bytes.");
  }

  std::vector<char>& m_buffer;
};

// A name the caller gives is cleaned; one taken from the URL must be usable as it is.
std::wstring TargetName(const std::wstring& url, const std::wstring& fileName) {
  return fileName.empty() ? download::FileNameFromUrl(url) : config::CleanFileName(fileName);
}

}  // namespace

std::shared_ptr<DownloadManager> DownloadManager::GetInstance() {
  static win32::MadeOnce<std::shared_ptr<DownloadManager>> instance;
  return instance.Get([] { return std::make_shared<DownloadManager>(); });
}

void DownloadManager::ShowInvalidPathBox() { ::MessageBoxW(nullptr, L"Invalid path", L"", MB_OK); }

void DownloadManager::SetFolders(std::wstring workFolder, std::wstring downloadFolder) {
  std::lock_guard lock(m_foldersMutex);
  m_workFolder = std::move(workFolder);
  m_downloadFolder = std::move(downloadFolder);
}

std::wstring DownloadManager::Folder(bool useWorkFolder) {
  std::lock_guard lock(m_foldersMutex);
  return useWorkFolder ? m_workFolder : m_downloadFolder;
}

DownloadManager::Target DownloadManager::ResolveTarget(const std::wstring& fileName, bool useWorkFolder) {
  return ResolveTargetIn(Folder(useWorkFolder), fileName);
}

DownloadManager::Target DownloadManager::ResolveTargetIn(const std::wstring& folder, const std::wstring& fileName) {
  std::wstring path = folder;
  if (!::PathIsDirectoryW(path.c_str())) {
    if (m_invalidPathNotice) m_invalidPathNotice();
    return {};
  }
  if (auto problem = config::FileNameProblem(fileName)) return {{}, std::move(*problem)};
  if (!AppendPath(path, fileName)) return {};
  return {std::move(path), {}};
}

DownloadManager::Target DownloadManager::ResolveTarget(const std::wstring& url, const std::wstring& fileName,
                                                       bool useWorkFolder) {
  return ResolveTarget(TargetName(url, fileName), useWorkFolder);
}

std::wstring DownloadManager::MakeTargetPathFromUrl(const std::wstring& url, bool useWorkFolder) {
  return ResolveTarget(download::FileNameFromUrl(url), useWorkFolder).path;
}

std::wstring DownloadManager::MakeTargetPathFromName(const std::wstring& fileName, bool useWorkFolder) {
  return ResolveTarget(config::CleanFileName(fileName), useWorkFolder).path;
}

void DownloadManager::TransferToFile(const std::wstring& url, download::FileDownload& file, bool winInet) {
  const DWORD firstPause = config::GetBuildSettings().resumePauseMs;
  for (int resumed = 0;; ++resumed) {
    const std::wstring headers = file.BeginTry();
    download::BlockingTransfer transfer;
    if (winInet) {
      transfer = [url, headers](TransferSink& out, const std::atomic<bool>& stop) {
        download::WinInetGet(url, stop, out, headers);
      };
    } else {
      transfer = [url, headers](TransferSink& out, const std::atomic<bool>& stop) {
        int redirects = 0;
        download::WinHttpGet(url, download::WinHttpPurpose::File, redirects, stop, out, headers);
      };
    }
    try {
      download::RunRelayed(transfer, file, m_relays, config::TransferStallLimitMs());
      file.Finish(winInet);
      return;
    } catch (const DownloadCancelled&) {
      throw;
    } catch (const DownloadError& error) {
      if (resumed == download::kMaxResumes || !file.EndedEarly(error)) throw;
      const DWORD pause = firstPause << resumed;
      const auto total = file.Total();
      win32::DebugLine(std::string(winInet ? "[WININET]" : "[WINHTTP]") + " download ended early at " +
                       std::to_string(file.Written()) + " of " + (total ? std::to_string(*total) : "?") + " bytes (" +
                       error.what() + "); resumed try " + std::to_string(resumed + 1) + " of " +
                       std::to_string(download::kMaxResumes) + " in " + std::to_string(pause) + " ms");
      m_relays.SleepUnlessCancelled(pause);
      if (m_cancelled) throw DownloadCancelled();
    }
  }
}

DownloadResult DownloadManager::DownloadFile(const std::wstring& url, HWND window, const std::wstring& fileName,
                                             bool useWorkFolder, const std::string& expectedSha256) {
  return DownloadInto(url, window, fileName, Folder(useWorkFolder), expectedSha256);
}

DownloadResult DownloadManager::DownloadFileToFolder(const std::wstring& url, HWND window, const std::wstring& fileName,
                                                     const std::wstring& folder, const std::string& expectedSha256) {
  // Without the folder above it the download fails as for any unusable folder.
  const std::size_t slash = folder.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 0 && ::PathIsDirectoryW(folder.substr(0, slash).c_str()) &&
      !::CreateDirectoryW(folder.c_str(), nullptr)) {
    DownloadResult result;
    result.error = L"[WINHTTP] " + SystemErrorMessage(L"Failed to open file for writing: ", ::GetLastError());
    return result;
  }
  return DownloadInto(url, window, fileName, folder, expectedSha256);
}

DownloadResult DownloadManager::DownloadInto(const std::wstring& url, HWND window, const std::wstring& fileName,
                                             const std::wstring& folder, const std::string& expectedSha256) {
  DownloadResult result;
  Target target;
  std::unique_ptr<download::FileDownload> file;
  bool fallBack = false;
  try {
    target = ResolveTargetIn(folder, TargetName(url, fileName));
    // An unusable name stays unusable for the other transport: no second attempt.
    if (!target.problem.empty()) {
      result.error = L"[WINHTTP] " + target.problem;
      return result;
    }
    file = std::make_unique<download::FileDownload>(target.path, window, m_hashEngine, m_noLengthCap);
    TransferToFile(url, *file, false);
    Complete(*file, target.path, expectedSha256, result);
  } catch (const std::exception& error) {
    result.error = L"[WINHTTP] " + win32::ExceptionText(error);
    fallBack = dynamic_cast<const DownloadCancelled*>(&error) == nullptr &&
               dynamic_cast<const DownloadCorrupt*>(&error) == nullptr;
  }
  if (fallBack) {
    // Cancelling cuts the pause short; the attempt then ends at once as cancelled.
    m_relays.SleepUnlessCancelled(config::GetBuildSettings().downloadFallbackPauseMs);
    // WinINet goes on with what WinHTTP wrote, if it can be resumed.
    if (file) file->NextTransport();
    const DownloadResult second = WinInetAttempt(url, window, fileName, false, &target, file.get(), expectedSha256);
    if (second.success) {
      result.success = true;
      result.path = second.path;
      result.sha256 = second.sha256;
    } else {
      result.error += second.error;
    }
  }
  return result;
}

void DownloadManager::Complete(download::FileDownload& file, const std::wstring& path,
                               const std::string& expectedSha256, DownloadResult& result) {
  if (!expectedSha256.empty()) {
    const std::string got = file.Sha256Hex();
    if (got != expectedSha256) throw DownloadCorrupt(got, expectedSha256);
  }
  file.Commit();
  m_lastFilePath = path;
  result.success = true;
  result.path = path;
  result.sha256 = file.Sha256Hex();
}

DownloadResult DownloadManager::DownloadFileWinInet(const std::wstring& url, HWND window, const std::wstring& fileName,
                                                    bool useWorkFolder) {
  return WinInetAttempt(url, window, fileName, useWorkFolder, nullptr, nullptr);
}

DownloadResult DownloadManager::WinInetAttempt(const std::wstring& url, HWND window, const std::wstring& fileName,
                                               bool useWorkFolder, const Target* resolved,
                                               download::FileDownload* continued, const std::string& expectedSha256) {
  DownloadResult result;
  try {
    const Target target = resolved != nullptr ? *resolved : ResolveTarget(url, fileName, useWorkFolder);
    if (!target.problem.empty()) throw DownloadError(target.problem);
    std::unique_ptr<download::FileDownload> own;
    if (continued == nullptr)
      own = std::make_unique<download::FileDownload>(target.path, window, m_hashEngine, m_noLengthCap);
    download::FileDownload& file = continued != nullptr ? *continued : *own;
    TransferToFile(url, file, true);
    Complete(file, target.path, expectedSha256, result);
  } catch (const std::exception& error) {
    result.error = L" [WININET] " + win32::ExceptionText(error);
  }
  return result;
}

std::unique_ptr<std::vector<char>> DownloadManager::DownloadToMemory(const std::wstring& url) {
  auto buffer = std::make_unique<std::vector<char>>();
  // Shared by both attempts; atomic because the thread of an attempt given up as stalled may
  // still be running when the next one starts.
  const auto redirects = std::make_shared<std::atomic<int>>(0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      MemorySink sink(*buffer);
      download::RunRelayed(
          [url, redirects](TransferSink& out, const std::atomic<bool>& stop) {
            int used = *redirects;
            try {
              download::WinHttpGet(url, download::WinHttpPurpose::Memory, used, stop, out);
            } catch (...) {
              *redirects = used;
              throw;
            }
            *redirects = used;
          },
          sink, m_relays, config::TransferStallLimitMs());
      return buffer;
    } catch (const std::exception& error) {
      buffer->clear();
      win32::DebugLine("Memory download failed: " + std::string(error.what()));
    }
  }
  return buffer;
}

bool DownloadManager::DownloadToMemoryAsync(std::wstring url, MemoryDownloadCallback callback) {
  std::shared_ptr<DownloadManager> self = weak_from_this().lock();
  if (!self) return false;
  std::lock_guard lock(m_memoryMutex);
  m_memoryJobs.push_back({std::move(url), std::move(callback)});
  if (m_memoryWorkers == kMemoryWorkers) return true;
  if (win32::StartThread([self]() noexcept { self->RunMemoryWorker(); })) {
    ++m_memoryWorkers;
  } else if (m_memoryWorkers == 0) {
    // No thread: a running worker takes the job; without one the callback is never called, so
    // the caller decides what follows.
    m_memoryJobs.pop_back();
    return false;
  }
  return true;
}

void DownloadManager::RunMemoryWorker() noexcept {
  for (;;) {
    MemoryJob job;
    {
      std::lock_guard lock(m_memoryMutex);
      if (m_memoryJobs.empty()) {
        --m_memoryWorkers;
        return;
      }
      job = std::move(m_memoryJobs.front());
      m_memoryJobs.pop_front();
    }
    std::unique_ptr<std::vector<char>> buffer;
    try {
      buffer = DownloadToMemory(job.url);
    } catch (...) {
      // Only the result buffer itself can fail to allocate; the callback still hears of the end.
    }
    if (m_cancelled) buffer.reset();
    try {
      job.callback(std::move(buffer));
    } catch (...) {
      // The caller's callback failed; nobody is left to tell on this thread.
    }
  }
}

void DownloadManager::Cancel() {
  m_cancelled = true;
  m_relays.CancelAll();
}
