#pragma once
// Failures inside a transfer. They carry the narrow (ANSI code page) form of the user-facing
// text and are caught only at the boundary of a download, which turns them into its result.
#include <windows.h>

#include <stdexcept>
#include <string_view>

class DownloadError : public std::runtime_error {
 public:
  explicit DownloadError(std::wstring_view text);
};

// Raised when the wizard is closing; a cancelled download is neither retried nor reported.
class DownloadCancelled : public DownloadError {
 public:
  DownloadCancelled();
};

// A platform call failed (the "%d - %s" texts): for a transfer under way, the connection broke
// or timed out, which is worth resuming; an answer the engine refuses is a plain DownloadError.
class SystemDownloadError : public DownloadError {
 public:
  using DownloadError::DownloadError;
};

// `prefix` + "<code> - <system text>", the shape of every "%d - %s" text of the engine.
[[noreturn]] void ThrowSystemError(std::wstring_view prefix, DWORD code);
// The same with the calling thread's last error code, read before anything else runs.
[[noreturn]] void ThrowLastError(std::wstring_view prefix);
