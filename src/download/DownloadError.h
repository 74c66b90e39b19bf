#pragma once
// Failures inside a transfer. They carry the narrow (ANSI code page) form of the user-facing
// text and are caught only at the boundary of a download, which turns them into its result.
#include <windows.h>

#include <stdexcept>
#include <string>
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

// The file is complete but not the one the configuration names by its hash: another transport
// would fetch the same, so it is not tried.
class DownloadCorrupt : public DownloadError {
 public:
  DownloadCorrupt(const std::string& got, const std::string& expected);
};

// `prefix` + "<code> - <system text>", the shape of every "%d - %s" text of the engine.
std::wstring SystemErrorMessage(std::wstring_view prefix, DWORD code);
// Raises that text.
[[noreturn]] void ThrowSystemError(std::wstring_view prefix, DWORD code);
// The same with the calling thread's last error code, read before anything else runs.
[[noreturn]] void ThrowLastError(std::wstring_view prefix);
