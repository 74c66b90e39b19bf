#include "pages/PageKind.h"

const wchar_t* PageName(PageKind kind) noexcept {
  switch (kind) {
    case PageKind::Language:
      return L"LanguagePage";
    case PageKind::LanguageBT:
      return L"LanguagePageBT";
    case PageKind::Loading:
      return L"LoadingPage";
    case PageKind::Welcome:
      return L"WelcomePage";
    case PageKind::License:
      return L"LicensePage";
    case PageKind::Warning:
      return L"WarningPageBTClassic";
    case PageKind::Product:
      return L"ProductPage";
    case PageKind::Options:
      return L"OptionsPageBTClassic";
    case PageKind::Configurations:
      return L"ConfigurationsPageBTClassic";
    case PageKind::DownloadDlm:
      return L"DownloadPageDLM";
    case PageKind::DownloadIsv:
      return L"DownloadPageISV";
    case PageKind::FinishDlm:
      return L"FinishPageDLM";
    case PageKind::FinishIsv:
      return L"FinishPageISV";
    case PageKind::Error:
      return L"ErrorPage";
  }
  return L"";
}
