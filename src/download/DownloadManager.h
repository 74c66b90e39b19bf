#pragma once
// Fetches the product, the offer installers and small images: files over WinHTTP with a
// WinINet fallback, reporting progress to a window by posted messages; memory downloads for
// images. One instance per process; Cancel() ends every transfer when the wizard closes.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/FileHasher.h"
#include "download/TransferRelay.h"
#include "win32/Threads.h"

namespace download {
class FileDownload;
}

struct DownloadResult {
  bool success = false;
  std::wstring error;       // empty on success, unless the WinINet fallback saved a failed WinHTTP try
  std::wstring path;        // the file written, on success
  std::string sha256 = {};  // lower-case hex SHA-256 of that file, computed while it was written
};

using MemoryDownloadCallback = std::function<void(std::unique_ptr<std::vector<char>>)>;

class DownloadManager : public std::enable_shared_from_this<DownloadManager> {
 public:
  // Bodies held in memory (offer pictures, logos) stop at this size: a larger answer fails.
  static constexpr std::size_t kMaxMemoryBytes = 16 * 1024 * 1024;

  static std::shared_ptr<DownloadManager> GetInstance();

  // The folders DownloadFile writes to: the wizard's work folder, and the Downloads folder for
  // the DLM product. Given by the wizard at start.
  void SetFolders(std::wstring workFolder, std::wstring downloadFolder);

  // WinHTTP, then after a pause WinINet. Never throws; a failed download leaves no file behind
  // and a file of the same name untouched. A caller's `fileName` is made usable (see
  // config::CleanFileName); a name from the URL that Windows cannot use fails the download.
  // With `expectedSha256` (lower-case hex), a complete file of another hash fails as corrupt
  // and is never put in place.
  DownloadResult DownloadFile(const std::wstring& url, HWND window, const std::wstring& fileName, bool useWorkFolder,
                              const std::string& expectedSha256 = {});
  // The same into `folder`, which is made now inside an existing folder: each package gets a
  // folder of its own, so two installers of the same name never overwrite each other, and one
  // that is already there is never used (it may hold what someone else put there).
  DownloadResult DownloadFileToFolder(const std::wstring& url, HWND window, const std::wstring& fileName,
                                      const std::wstring& folder, const std::string& expectedSha256 = {});
  DownloadResult DownloadFileWinInet(const std::wstring& url, HWND window, const std::wstring& fileName,
                                     bool useWorkFolder);
  // Two attempts; an empty buffer (never null) when both fail.
  std::unique_ptr<std::vector<char>> DownloadToMemory(const std::wstring& url);
  // Queues DownloadToMemory for one of at most kMemoryWorkers threads, which share ownership of
  // this manager, and hands the buffer to `callback` on that thread; after cancellation the
  // callback receives null. A document with hundreds of offers thus never starts hundreds of
  // threads in the 32-bit stub. False when no worker could take it (or this manager has no
  // shared owner): the callback is then never called.
  [[nodiscard]] bool DownloadToMemoryAsync(std::wstring url, MemoryDownloadCallback callback);
  static constexpr int kMemoryWorkers = 4;
  // Raises m_cancelled and ends every transfer in flight at once, even one blocked on a server
  // that stopped sending (its partial file is removed); transfers started later fail as
  // cancelled.
  void Cancel();

  std::wstring MakeTargetPathFromUrl(const std::wstring& url, bool useWorkFolder);
  std::wstring MakeTargetPathFromName(const std::wstring& fileName, bool useWorkFolder);

  // Raised once when the wizard closes, through Cancel(); read between chunks by every transfer.
  std::atomic<bool> m_cancelled{false};
  std::wstring m_lastFilePath;
  // Tells the user that the target folder is unusable. The default shows an owner-less
  // "Invalid path" box from the calling worker thread; tests replace it.
  std::function<void()> m_invalidPathNotice = &DownloadManager::ShowInvalidPathBox;
  // How file downloads are hashed; benchmarks compare the engines.
  config::HashEngine m_hashEngine = config::HashEngine::Cng;
  // Replaces the cap on bodies without a length (download::NoLengthCap); tests make it small.
  std::optional<unsigned long long> m_noLengthCap;

 private:
  struct Target {
    std::wstring path;     // empty when the folder is unusable
    std::wstring problem;  // why the file name cannot be used; empty when it can
  };

  static void ShowInvalidPathBox();
  Target ResolveTarget(const std::wstring& fileName, bool useWorkFolder);
  Target ResolveTargetIn(const std::wstring& folder, const std::wstring& fileName);
  DownloadResult DownloadInto(const std::wstring& url, HWND window, const std::wstring& fileName,
                              const std::wstring& folder, const std::string& expectedSha256);
  Target ResolveTarget(const std::wstring& url, const std::wstring& fileName, bool useWorkFolder);
  // `resolved` null: the target is worked out inside the attempt.
  // `continued`: the file WinHTTP began, or null for a download of its own.
  DownloadResult WinInetAttempt(const std::wstring& url, HWND window, const std::wstring& fileName, bool useWorkFolder,
                                const Target* resolved, download::FileDownload* continued,
                                const std::string& expectedSha256 = {});
  // One transport's attempt: the first try and up to kMaxResumes resumed ones after early ends.
  void TransferToFile(const std::wstring& url, download::FileDownload& file, bool winInet);
  void Complete(download::FileDownload& file, const std::wstring& path, const std::string& expectedSha256,
                DownloadResult& result);
  // Takes queued memory downloads until none is left.
  void RunMemoryWorker() noexcept;

  std::wstring Folder(bool useWorkFolder);

  win32::Mutex m_foldersMutex;
  std::wstring m_workFolder;
  std::wstring m_downloadFolder;

  struct MemoryJob {
    std::wstring url;
    MemoryDownloadCallback callback;
  };
  win32::Mutex m_memoryMutex;
  std::deque<MemoryJob> m_memoryJobs;
  int m_memoryWorkers = 0;

  download::RelayRegistry m_relays{m_cancelled};
};

bool AppendPath(std::wstring& path, const std::wstring& more);
