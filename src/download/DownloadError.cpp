#include "download/DownloadError.h"

#include <string>

#include "download/DownloadManager.h"
#include "ui/Strings.h"

DownloadError::DownloadError(std::wstring_view text) : std::runtime_error(ui::Narrow(text, CP_ACP)) {}

DownloadCancelled::DownloadCancelled() : DownloadError(L"Download cancelled.") {}

void ThrowSystemError(std::wstring_view prefix, DWORD code) {
  std::wstring text(prefix);
  text += std::to_wstring(static_cast<int>(code));
  text += L" - ";
  text += GetSystemErrorText(code);
  throw SystemDownloadError(text);
}

void ThrowLastError(std::wstring_view prefix) { ThrowSystemError(prefix, ::GetLastError()); }

std::wstring GetSystemErrorText(DWORD code) { return ui::SystemErrorText(code); }
