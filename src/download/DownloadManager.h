#pragma once
// Fetches the product, the offer installers and small images: files over WinHTTP with a
// WinINet fallback, reporting progress to a window by posted messages; memory downloads for
// images. One instance per process; `m_cancelled` is raised once when the wizard closes.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DownloadResult {
  bool success = false;
  std::wstring error;  // empty on success, unless the WinINet fallback saved a failed WinHTTP try
  std::wstring path;   // the file written, on success
};

using MemoryDownloadCallback = std::function<void(std::unique_ptr<std::vector<char>>)>;

class DownloadManager {
 public:
  static std::shared_ptr<DownloadManager> GetInstance();

  // WinHTTP, then after a pause WinINet. Never throws; a failed download leaves no file behind
  // and a file of the same name untouched.
  DownloadResult DownloadFile(const std::wstring& url, HWND window, const std::wstring& fileName, bool useWorkFolder);
  // The same into `folder`, made when missing: each package gets a folder of its own, so two
  // installers of the same name never overwrite each other.
  DownloadResult DownloadFileToFolder(const std::wstring& url, HWND window, const std::wstring& fileName,
                                      const std::wstring& folder);
  DownloadResult DownloadFileWinInet(const std::wstring& url, HWND window, const std::wstring& fileName,
                                     bool useWorkFolder);
  // Two attempts; an empty buffer (never null) when both fail.
  std::unique_ptr<std::vector<char>> DownloadToMemory(const std::wstring& url);
  // Runs DownloadToMemory on a detached thread and hands the buffer to `callback` on that
  // thread; after cancellation the callback receives null. The thread uses this manager, which
  // must outlive it (the process-wide instance does).
  // False when no thread could be started: the callback is then never called.
  bool DownloadToMemoryAsync(std::wstring url, MemoryDownloadCallback callback);

  std::wstring MakeTargetPathFromUrl(const std::wstring& url, bool useWorkFolder);
  std::wstring MakeTargetPathFromName(const std::wstring& fileName, bool useWorkFolder);

  std::atomic<bool> m_cancelled{false};
  std::wstring m_lastFilePath;
  // Tells the user that the target folder is unusable. The default shows an owner-less
  // "Invalid path" box from the calling worker thread; tests replace it.
  std::function<void()> m_invalidPathNotice = &DownloadManager::ShowInvalidPathBox;

 private:
  struct Target {
    std::wstring path;     // empty when the folder is unusable
    std::wstring problem;  // why the file name cannot be used; empty when it can
  };

  static void ShowInvalidPathBox();
  Target ResolveTarget(const std::wstring& fileName, bool useWorkFolder);
  Target ResolveTargetIn(const std::wstring& folder, const std::wstring& fileName);
  DownloadResult DownloadInto(const std::wstring& url, HWND window, const std::wstring& fileName,
                              const std::wstring& folder);
  Target ResolveTarget(const std::wstring& url, const std::wstring& fileName, bool useWorkFolder);
  // `resolved` null: the target is worked out inside the attempt.
  DownloadResult WinInetAttempt(const std::wstring& url, HWND window, const std::wstring& fileName, bool useWorkFolder,
                                const Target* resolved);
  void TransferToFile(const std::wstring& url, HWND window, const std::wstring& path, bool winInet);
};

std::wstring GetSystemErrorText(DWORD code);
bool AppendPath(std::wstring& path, const std::wstring& more);
