#include "pages/DownloadPages.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>

#include "config/ConfigurationManager.h"
#include "config/Urls.h"
#include "i18n/LanguageManager.h"
#include "install/InstallerFiles.h"
#include "install/RunExecutable.h"
#include "offers/Package.h"
#include "offers/RunState.h"
#include "resources/resource.h"
#include "win32/DetachedTask.h"
#include "win32/Strings.h"
#include "win32/WindowMessages.h"

namespace {

constexpr UINT kPollMs = 100;

}  // namespace

std::wstring ResolveDownloadUrl(const std::wstring& location, const std::wstring& offerFilesBaseUrl) {
  // Only an address with its scheme is one: "setup.exe" looks like a host name, yet is a file
  // below the offer files.
  if (config::IsHttpUrl(location)) return location;
  return offerFilesBaseUrl + location;
}

std::wstring ClassicCommandLine(const std::array<bool, 8>& options) {
  // Positions 1 to 16: an element of the options, or a fixed character.
  constexpr int kSource[16] = {5, 6, 3, -1, -1, 4, -1, -2, -1, -2, 7, 5, 1, 2, 0, -1};
  std::wstring line = L"/S /FORCEINSTALL ";
  for (const int source : kSource) {
    if (source == -1) {
      line += L'0';
    } else if (source == -2) {
      line += L'1';
    } else {
      line += options[static_cast<std::size_t>(source)] ? L'1' : L'0';
    }
  }
  return line;
}

// --- both pages ------------------------------------------------------------------------------

DownloadPage::DownloadPage(const PageContext& context, PageKind kind, UINT templateId)
    : WizardPage(context, kind, templateId) {}

DownloadPage::~DownloadPage() = default;

bool DownloadPage::OnInitDialog() {
  WizardPage::OnInitDialog();
  BindText(IDC_PROGRESS_TITLE, "PROGRESS_TITLE");
  BindText(IDC_PROGRESS_DESC, "PROGRESS_DESC");
  UpdateTexts();
  m_icon.SubclassDlgItem(IDC_PAGE_IMAGE, *this);
  return true;
}

bool DownloadPage::Exiting() const { return m_config->exiting; }

void DownloadPage::OnNavigateToPage() {
  if (m_started) return;
  m_started = true;
  if (m_run->mainPackage) m_downloadQueue.push_back(m_run->mainPackage);
  for (const auto& package : m_run->shownOffers) {
    if (package->m_pn.enabled) package->WriteNoShowMarker();
  }
  for (const auto& package : m_run->acceptedOffers) m_downloadQueue.push_back(package);
  StartNextDownload();
}

void DownloadPage::StartNextDownload() {
  if (Exiting() || m_downloadQueue.empty()) return;
  const auto& config = m_config;
  const Package& package = *m_downloadQueue.front();
  const bool main = package.m_isMainProduct;
  const bool toDownloads = main && MainGoesToDownloadFolder();
  const std::wstring location = main ? config->productUrl : package.GetDownloadUrl();
  // The DLM product's address is used as the service gave it.
  const std::wstring url = toDownloads ? location : ResolveDownloadUrl(location, config->offerFilesBaseUrl);
  const int number = m_downloadNumber++;
  if (!config::IsHttpsUrl(url)) {
    // What the wizard may run must come over a connection nobody on the way can change.
    m_downloadResult = win32::Pending<DownloadResult>::Ready(DownloadResult{false, L"Not a secure URL", {}});
  } else {
    // Without a work folder the manager reports the unusable folder; never a folder made
    // elsewhere (an empty work folder would put it in the drive's root).
    const bool ownFolder = !toDownloads && !config->workFolder.empty();
    const std::wstring folder = ownFolder ? config->workFolder + L"\\" + std::to_wstring(number) : std::wstring();
    const std::wstring fileName = toDownloads ? config->productFileName : std::wstring();
    const std::string expected = main ? config->productSha256 : package.m_sha256;
    m_downloadResult = win32::RunDetached<DownloadResult>(
        [manager = DownloadManager::GetInstance(), url, window = GetHwnd(), fileName, folder, toDownloads, expected] {
          return folder.empty() ? manager->DownloadFile(url, window, fileName, !toDownloads, expected)
                                : manager->DownloadFileToFolder(url, window, fileName, folder, expected);
        });
  }
  ::SetTimer(GetHwnd(), DOWNLOAD_TIMER_ID, kPollMs, nullptr);
}

void DownloadPage::OnDownloadTimer() {
  if (!m_downloadResult.IsReady()) return;
  ::KillTimer(GetHwnd(), DOWNLOAD_TIMER_ID);
  const std::shared_ptr<Package> package = m_downloadQueue.front();
  m_downloadQueue.pop_front();
  DownloadResult result;
  try {
    result = m_downloadResult.Get();
  } catch (const std::exception& error) {
    result = {false, win32::ExceptionText(error), {}};
  }
  const auto& config = m_config;
  if (!result.success) {
    ReportFailure(*package, L"DOWNLOAD FAILED: " + result.error);
    if (package->m_isMainProduct) m_mainFailed = true;
  } else if (package->m_isMainProduct && MainGoesToDownloadFolder()) {
    config->productFilePath = result.path;
    config->productFileSha256 = result.sha256;
    package->SendEvent(EVENT_FINISHED, {});
  } else {
    if (package->m_isMainProduct) config->productFilePath = result.path;
    m_installQueue.push_back({package, result.path, result.sha256});
  }
  if (!m_downloadQueue.empty()) {
    StartNextDownload();
  } else if (!Exiting()) {
    OnDownloadsDone();
  }
}

void DownloadPage::StartInstall(const InstallItem& item, const std::wstring& parameters, bool wait) {
  const std::wstring baseFolder = item.path.substr(0, item.path.find_last_of(L'\\'));
  m_execResult = win32::RunDetached<InstallStart>([item, parameters, wait, baseFolder, gate = m_startGate] {
    install::Installer program{item.path, item.sha256};
    {
      // Unpacking a large archive takes a while: never on the UI thread, and a closing wizard
      // stops it (its pass ends only once the half-written files are gone).
      const install::StartGate::Pass pass(gate.get());
      const install::ArchiveType type = install::GetArchiveType(item.path);
      if (pass && type != install::ArchiveType::None) {
        program = install::PrepareInstaller(program, type, baseFolder, &gate->Closing());
      }
    }
    // What runs is what was written: the download, or the file unpacked from it.
    return InstallStart{install::RunExecutable(program.path, parameters, wait, {gate.get(), program.sha256}),
                        program.path};
  });
  ::SetTimer(GetHwnd(), INSTALL_TIMER_ID, kPollMs, nullptr);
}

void DownloadPage::OnInstallTimer() {
  if (!m_execResult.IsReady()) return;
  ::KillTimer(GetHwnd(), INSTALL_TIMER_ID);
  const InstallItem item = m_installQueue.front();
  InstallStart start{{}, item.path};
  try {
    start = m_execResult.Get();
  } catch (const std::exception& error) {
    start.result.text = L"Error launching executable: " + win32::ExceptionText(error);
  }
  m_installQueue.pop_front();
  OnInstallerEnded(item, start);
}

void DownloadPage::ReportFailure(Package& package, const std::wstring& text) const {
  const bool asFinished = package.m_isMainProduct && m_config->failuresAsFinished;
  // UTF-8, the payload's encoding: a localised system text in the ANSI code page would make
  // the event unserialisable and it would be dropped.
  package.SendEvent(asFinished ? EVENT_FINISHED : EVENT_FAILED, {{"12", win32::WideToUtf8(text)}});
}

void DownloadPage::ReportOfferStart(const InstallItem& item, const install::ExecResult& result) const {
  if (result.started) {
    item.package->SendEvent(EVENT_FINISHED, {});
  } else {
    ReportFailure(*item.package, L"EXEC FAILED: " + result.text);
  }
}

void DownloadPage::SetMarquee() {
  HWND bar = GetItem(IDC_PROGRESS);
  ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
  ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
  ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
  m_marquee = true;
}

void DownloadPage::OnProgress(WPARAM percent) {
  if (percent > 100) {
    SetMarquee();
    return;
  }
  HWND bar = GetItem(IDC_PROGRESS);
  if (m_marquee) {
    ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
    ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ::SendMessageW(bar, PBM_SETPOS, 0, 0);
    ::SendMessageW(bar, PBM_SETSTEP, 1, 0);
    ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    m_marquee = false;
  }
  ::SendMessageW(bar, PBM_SETPOS, percent, 0);
}

bool DownloadPage::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
  // The progress messages share their numbers with DM_SETDEFID and DM_REPOSITION: they are
  // marked handled here, so the dialog manager never acts on them.
  switch (message) {
    case WM_DOWNLOAD_PROGRESS:
      OnProgress(wParam);
      result = 0;
      return true;
    case WM_DOWNLOAD_NO_LENGTH:
      SetMarquee();
      result = 0;
      return true;
    case WM_TIMER:
      if (wParam == DOWNLOAD_TIMER_ID) OnDownloadTimer();
      if (wParam == INSTALL_TIMER_ID) OnInstallTimer();
      result = 0;
      return true;
    default:
      return false;
  }
}

void DownloadPage::PrepareForExit(std::chrono::steady_clock::time_point deadline) {
  m_startGate->Close(deadline);
  if (m_downloadResult.Valid()) m_downloadResult.WaitUntil(deadline);
}

void DownloadPage::Conclude(const char* errorTitleKey, const char* errorTextKey) const {
  if (m_mainFailed && m_errorCallback) {
    m_errorCallback(m_languageManager->GetString(errorTitleKey), m_languageManager->GetString(errorTextKey));
  } else if (m_buttonCallback) {
    m_buttonCallback(ButtonType::Next);
  }
}

// --- DLM -------------------------------------------------------------------------------------

DownloadPageDlm::DownloadPageDlm(const PageContext& context)
    : DownloadPage(context, PageKind::DownloadDlm, IDD_DOWNLOAD_PAGE_DLM) {}

bool DownloadPageDlm::OnInitDialog() {
  DownloadPage::OnInitDialog();
  m_icon.SetImage(m_run->productLogo);
  return true;
}

void DownloadPageDlm::OnDownloadsDone() { RunDownloadedOffers(); }

void DownloadPageDlm::RunDownloadedOffers() {
  if (m_installQueue.empty()) {
    Conclude("PAGE_DOWNLOAD_ERROR_TITLE", "PAGE_DOWNLOAD_ERROR_DESC");
    return;
  }
  if (Exiting()) return;
  const InstallItem& item = m_installQueue.front();
  StartInstall(item, item.package->GetInstallerArgs(), false);
}

void DownloadPageDlm::OnInstallerEnded(const InstallItem& item, const InstallStart& start) {
  ReportOfferStart(item, start.result);
  RunDownloadedOffers();
}

// --- ISV -------------------------------------------------------------------------------------

DownloadPageIsv::DownloadPageIsv(const PageContext& context)
    : DownloadPage(context, PageKind::DownloadIsv, IDD_DOWNLOAD_PAGE_ISV) {}

bool DownloadPageIsv::OnInitDialog() {
  DownloadPage::OnInitDialog();
  m_icon.LoadFromResource(IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB");
  return true;
}

void DownloadPageIsv::SetInstallNotifications(std::function<void()> started, std::function<void()> finished) {
  m_onInstallStarted = std::move(started);
  m_onInstallFinished = std::move(finished);
}

void DownloadPageIsv::OnDownloadsDone() {
  if (m_onInstallStarted) m_onInstallStarted();
  SetMarquee();
  StartNextInstall();
}

std::wstring DownloadPageIsv::MainInstallerParameters() const {
  const auto& config = m_config;
  return config->btClassicPages ? ClassicCommandLine(config->classicOptions) : config->productInstallParameters;
}

void DownloadPageIsv::StartNextInstall() {
  if (m_installQueue.empty()) {
    if (m_onInstallFinished) m_onInstallFinished();
    Conclude("PAGE_ERROR_TITLE", "PAGE_ERROR_TEXT");
    return;
  }
  if (Exiting()) return;
  const InstallItem& item = m_installQueue.front();
  const bool main = item.package->m_isMainProduct;
  StartInstall(item, main ? MainInstallerParameters() : item.package->GetInstallerArgs(), main);
}

void DownloadPageIsv::OnInstallerEnded(const InstallItem& item, const InstallStart& start) {
  if (item.package->m_isMainProduct) {
    if (m_onInstallFinished) m_onInstallFinished();
    // The installer that ran: for a ZIP product, the one unpacked from it.
    m_mainInstallerPath = start.program;
    if (!start.result.started || start.result.exitCode != 0) {
      ReportFailure(*item.package, L"EXEC FAILED: " + start.result.text);
      m_mainFailed = true;
    } else {
      m_config->productFilePath = m_mainInstallerPath;
      item.package->SendEvent(EVENT_FINISHED, {});
    }
  } else {
    ReportOfferStart(item, start.result);
  }
  StartNextInstall();
}
