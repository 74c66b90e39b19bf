#include "download/DownloadError.h"

#include <string>

#include "download/DownloadManager.h"
#include "win32/Strings.h"

DownloadError::DownloadError(std::wstring_view text)
    : std::runtime_error(win32::Narrow(text, win32::kExceptionCodePage)) {}

DownloadCancelled::DownloadCancelled() : DownloadError(L"Download cancelled.") {}

DownloadCorrupt::DownloadCorrupt(const std::string& got, const std::string& expected)
    : DownloadError(L"Download was corrupt: its SHA-256 is " + win32::Widen(got, CP_ACP) + L", not the expected " +
                    win32::Widen(expected, CP_ACP) + L".") {}

std::wstring SystemErrorMessage(std::wstring_view prefix, DWORD code) {
  std::wstring text(prefix);
  text += std::to_wstring(static_cast<int>(code));
  text += L" - ";
  text += win32::SystemErrorText(code);
  return text;
}

void ThrowSystemError(std::wstring_view prefix, DWORD code) {
  throw SystemDownloadError(SystemErrorMessage(prefix, code));
}

void ThrowLastError(std::wstring_view prefix) { ThrowSystemError(prefix, ::GetLastError()); }
