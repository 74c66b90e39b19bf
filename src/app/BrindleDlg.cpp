#include "app/BrindleDlg.h"

#include <objbase.h>

#include <gdiplus.h>

#include <climits>
#include <utility>

#include "app/AboutDlg.h"
#include "app/FolderCleanup.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "i18n/LanguageManager.h"
#include "install/StartedProcesses.h"
#include "offers/Package.h"
#include "offers/RunState.h"
#include "pages/ErrorPage.h"
#include "pages/IPage.h"
#include "resources/resource.h"
#include "win32/ImageDecoder.h"
#include "win32/Strings.h"
#include "win32/WindowMessages.h"

namespace {

// How long the current page may take to stop its work once the user has confirmed closing.
constexpr auto kPageExitBudget = std::chrono::seconds(3);
// Events still in flight at exit are waited for this long, all packages together.
constexpr auto kEventWaitAtExit = std::chrono::seconds(10);

bool AskWithMessageBox(HWND owner, const std::wstring& text) {
  return ::MessageBoxW(owner, text.c_str(), L"", MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

// Positions in the sequence: the language and loading pages are made at start, the rest once
// the configuration is loaded.
constexpr int kLanguagePage = 0;
constexpr int kLoadingPage = 1;
constexpr int kFirstLoadedPage = 2;

}  // namespace

WizardShellOptions DefaultWizardShellOptions() {
  WizardShellOptions options;
  options.config = ConfigurationManager::GetInstance();
  options.pages = MakeWizardPageFactory();
  options.askToClose = AskWithMessageBox;
  options.runningInstallerFolders = [] {
    return install::StartedProcesses::GetInstance()->FoldersWithRunningProcesses();
  };
  return options;
}

CBrindleDlg::CBrindleDlg(WizardShellOptions options)
    : WizardFrame(IDD_BRINDLE_DIALOG, options.config ? options.config : ConfigurationManager::GetInstance()),
      m_options(std::move(options)),
      m_run(std::make_shared<RunState>()),
      m_languageManager(std::make_shared<LanguageManager>(this, m_config)) {
  if (!m_options.pages) m_options.pages = MakeWizardPageFactory();
  if (!m_options.askToClose) m_options.askToClose = AskWithMessageBox;
  m_hIcon = static_cast<HICON>(::LoadImageW(win32::ModuleInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0,
                                            LR_DEFAULTSIZE | LR_SHARED));
}

CBrindleDlg::~CBrindleDlg() {
  ReleasePictures();
  // Page windows go before the page objects; the pages unregister from the language manager.
  DestroyWindow();
}

void CBrindleDlg::ReleasePictures() {
  // GDI+ pictures must be gone before the process environment shuts GDI+ down; the
  // configuration and the packages outlive this dialog. Only the kept offers have pictures.
  m_productIcon.SetImage(nullptr);
  m_run->productLogo.reset();
  for (const auto& package : m_packages) package->m_image.reset();
}

bool CBrindleDlg::AcquireSingleInstance() {
  const std::wstring name =
      std::wstring(L"Global\\Brindle") + config::GetBuildSettings().wizardTypeName + L"SingleInstanceMutex";
  m_instanceMutex.reset(::CreateMutexW(nullptr, TRUE, name.c_str()));
  if (m_instanceMutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    m_instanceMutex.reset();
    return false;
  }
  // A mutex that could not be created at all does not stop the wizard.
  return true;
}

bool CBrindleDlg::OnInitDialog() {
  m_productIcon.SubclassDlgItem(IDC_PRODUCT_ICON, *this);
  if (HMENU systemMenu = ::GetSystemMenu(GetHwnd(), FALSE)) {
    const std::wstring aboutText = win32::LoadStringResource(IDS_ABOUTBOX);
    if (!aboutText.empty()) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
    }
  }
  ::SendMessageW(GetHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(GetHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  if (!AcquireSingleInstance()) {
    ::MessageBoxW(GetHwnd(), L"Another setup is already running, please close it and try again", L"Error",
                  MB_ICONERROR | MB_SYSTEMMODAL);
    // The work folder this copy made is still empty; it was never this copy's to keep.
    if (!m_config->workFolder.empty()) ::RemoveDirectoryW(m_config->workFolder.c_str());
    EndDialog(1);
    return false;
  }

  switch (m_config->wizardType) {
    case ConfigurationManager::kWizardTypeDlm:
      ::SetWindowTextW(GetHwnd(), L"Setup");
      break;
    case ConfigurationManager::kWizardTypeIsv:
      ::SetWindowTextW(GetHwnd(), (m_config->productTitle + L" ").c_str());
      break;
    default:
      ::MessageBoxW(GetHwnd(), L"Invalid wizard type", L"", MB_ICONERROR | MB_SYSTEMMODAL);
      EndDialog(1);
      return false;
  }

  SetItemText(IDC_TITLE, m_config->productTitle);
  DownloadManager::GetInstance()->SetFolders(m_config->workFolder, m_config->downloadFolder);
  CreateInitialPages();
  if (m_config->wizardType == ConfigurationManager::kWizardTypeIsv) {
    ShowItem(IDC_PRODUCT_ICON, false);
    ShowItem(IDC_HEADER_LINE, false);
  }
  ShowItem(IDC_TITLE, false);
  return false;  // the first page has the focus
}

// --- page sequence ---------------------------------------------------------------------------

bool CBrindleDlg::CreatePage(IPage& page) {
  if (!HostPage(page)) return false;
  // Never shown (pages have no caption); it lets test drivers and accessibility tools tell
  // the pages apart from outside the process.
  ::SetWindowTextW(page.GetHwnd(), page.GetPageName().c_str());
  page.SetButtonCallback([this, source = &page](ButtonType type) { OnPageButton(source, type); });
  return true;
}

void CBrindleDlg::CreateAndAddPage(std::unique_ptr<IPage> page) {
  if (!page || !CreatePage(*page)) return;
  page->SetErrorCallback([this](const std::wstring& title, const std::wstring& text) { ShowError(title, text); });
  m_pages.push_back(std::move(page));
}

void CBrindleDlg::AddPage(PageKind kind, const std::shared_ptr<Package>& offer) {
  CreateAndAddPage(m_options.pages->Create(kind, Context(), offer));
}

PageContext CBrindleDlg::Context() { return {m_languageManager, this, m_config, m_run}; }

// Only the language page is made at start: the loading page when Next first leaves it, the error
// page when an error is first shown. Each page costs the start a few milliseconds, and neither
// of them can show before.
bool CBrindleDlg::CreateInitialPages() {
  // Handled once the dialog shows, before any input: the process's remaining set-up, then the
  // first page's focus (focusing a control of a window not yet shown activates that window
  // first, which the showing does again: about 5 ms of the start under Wine).
  ::PostMessageW(GetHwnd(), WM_DIALOG_SHOWN, 0, 0);
  AddPage(m_config->btPages ? PageKind::LanguageBT : PageKind::Language);
  m_currentPage = kLanguagePage;
  if (m_pages.empty()) return false;
  ShowOnTop(m_pages[kLanguagePage]->GetHwnd());
  return true;
}

void CBrindleDlg::AddLoadingPage() {
  AddPage(PageKind::Loading);
  if (m_pages.size() != static_cast<std::size_t>(kLoadingPage + 1)) return;
  if (auto* loading = dynamic_cast<LoadingPageInterface*>(m_pages.back().get())) {
    // Holds the mailbox and the window handle, never the dialog: the page's workers may finish
    // after the dialog is gone, and a post to a destroyed window simply fails.
    loading->SetLoadCompleteCallback([mailbox = m_loadMailbox, window = GetHwnd()](LoadResult result) {
      {
        std::lock_guard lock(mailbox->mutex);
        mailbox->result = std::move(result);
      }
      ::PostMessageW(window, WM_LOAD_COMPLETE, 0, 0);
    });
  }
}

IPage* CBrindleDlg::Current() const noexcept {
  if (m_currentPage < 0 || m_currentPage >= static_cast<int>(m_pages.size())) return nullptr;
  return m_pages[m_currentPage].get();
}

void CBrindleDlg::ShowPage(int index) {
  if (index < 0 || index >= static_cast<int>(m_pages.size())) return;
  IPage& page = *m_pages[index];
  ShowOnTop(page.GetHwnd());
  FocusPage(page.GetHwnd());
  if (IPage* previous = Current(); previous != nullptr && previous != &page) ::ShowWindow(previous->GetHwnd(), SW_HIDE);
  m_currentPage = index;
  ::OutputDebugStringW((page.GetPageName() + L"\n").c_str());
  if (IsDownloadPage(page.Kind())) SetSystemClose(false);
  if (IsFinishPage(page.Kind())) SetSystemClose(true);
  page.OnNavigateToPage();
}

void CBrindleDlg::SetSystemClose(bool present) {
  HMENU menu = ::GetSystemMenu(GetHwnd(), FALSE);
  if (menu == nullptr) return;
  const bool there = ::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1);
  if (present && !there) ::AppendMenuW(menu, MF_STRING, SC_CLOSE, L"Close");
  if (!present && there) ::DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
}

HWND CBrindleDlg::VisiblePageWindow() const {
  if (m_errorShown && m_errorPage) return m_errorPage->GetHwnd();
  const IPage* current = Current();
  return current != nullptr ? current->GetHwnd() : nullptr;
}

void CBrindleDlg::OnPageButton(const IPage* page, ButtonType type) {
  if (page == m_errorPage.get()) {
    // Always honoured: the user has seen what went wrong.
    if (type == ButtonType::Close) ExitWizard(false);
    return;
  }
  // The close question's own message loop still delivers the loading hand-over and the pages'
  // timers: what they report waits for the answer.
  if (m_asking) {
    m_deferredButtons.emplace_back(page, type);
    return;
  }
  // A click queued on a page that is no longer shown (a double click on Accept or Next) must
  // not move the wizard a second time.
  if (m_errorShown || m_closing || page == nullptr || Current() != page) return;
  switch (type) {
    case ButtonType::Next:
      if (m_currentPage == kLanguagePage) {
        if (m_returnedToFirstPage) {
          // The configuration is loaded already: past the loading page.
          ShowPage(kFirstLoadedPage);
          return;
        }
        const bool isv = m_config->wizardType == ConfigurationManager::kWizardTypeIsv;
        m_run->mainPackage =
            Package::MainProduct(*m_config, isv ? ProductIdentity{m_config->installerName, m_config->cflValue,
                                                                  m_config->productTitle, m_config->channel}
                                                : ProductIdentity{});
        m_run->mainPackage->SendEvent(EVENT_STARTED, {});
        if (m_pages.size() == static_cast<std::size_t>(kLoadingPage)) AddLoadingPage();
      }
      ShowPage(m_currentPage + 1);
      return;
    case ButtonType::SkipAll:
      m_skipAll = true;
      [[fallthrough]];
    case ButtonType::Decline:
      if (m_offerIndex >= 0 && m_offerIndex < static_cast<int>(m_packages.size()) &&
          m_packages[m_offerIndex]->m_flow.skipAllAfterDecline) {
        m_skipAllAfterDecline = true;
      }
      [[fallthrough]];
    case ButtonType::Accept: {
      const int skipped = CountSkippedOfferPages();
      ShowPage(m_currentPage + 1 + skipped);
      return;
    }
    case ButtonType::Back:
      m_returnedToFirstPage = true;
      ShowPage(m_currentPage == kFirstLoadedPage ? kLanguagePage : m_currentPage - 1);
      return;
    case ButtonType::Close:
    case ButtonType::Finish:
      ExitWizard(false);
      return;
  }
}

void CBrindleDlg::ShowError(const std::wstring& title, const std::wstring& text) {
  if (!m_errorPage) {
    m_errorPage = std::make_unique<ErrorPage>(Context());
    CreatePage(*m_errorPage);
  }
  if (IPage* current = Current()) ::ShowWindow(current->GetHwnd(), SW_HIDE);
  m_errorPage->SetTexts(title, text);
  ShowOnTop(m_errorPage->GetHwnd());
  FocusPage(m_errorPage->GetHwnd());
  m_errorShown = true;
  ::OutputDebugStringW((m_errorPage->GetPageName() + L"\n").c_str());
  SetSystemClose(true);
}

LRESULT CBrindleDlg::OnLoadCompleteMessage() {
  std::optional<LoadResult> loaded;
  {
    std::lock_guard lock(m_loadMailbox->mutex);
    loaded.swap(m_loadMailbox->result);
  }
  // Only the first hand-over counts; a stray message finds the mailbox empty.
  if (!loaded || m_pages.size() != static_cast<std::size_t>(kFirstLoadedPage) || m_errorShown) return 0;
  m_packages = std::move(loaded->packages);

  // Texts referring to {PRODUCT_TITLE} get the title that loading has just set.
  m_languageManager->SetLanguage(m_config->languageName);
  const bool dlm = m_config->wizardType == ConfigurationManager::kWizardTypeDlm;
  if (dlm) {
    if (auto logo = win32::DecodeImage(loaded->logo)) m_run->productLogo = std::move(logo);
    m_productIcon.SetImage(m_run->productLogo);
    ShowItem(IDC_PRODUCT_ICON, true);
    SetItemText(IDC_TITLE, m_config->productTitle);
    ShowItem(IDC_TITLE, true);
    ::SetWindowTextW(GetHwnd(), (m_config->productTitle + L" Setup").c_str());
  }
  if (m_run->mainPackage) {
    m_run->mainPackage->Reinitialize(*m_config, {dlm ? m_config->productTitle : m_config->installerName,
                                                 m_config->cflValue, m_config->productTitle, m_config->channel});
  }
  for (const auto& package : m_packages) package->DecodeImage();

  if (m_config->btPages) {
    if (m_config->btClassicPages) AddPage(PageKind::Warning);
    AddPage(PageKind::License);
  } else {
    AddPage(PageKind::Welcome);
  }
  for (const auto& package : m_packages) AddPage(PageKind::Product, package);
  if (m_config->btClassicPages) {
    AddPage(PageKind::Options);
    AddPage(PageKind::Configurations);
  }
  if (dlm) {
    AddPage(PageKind::DownloadDlm);
    AddPage(PageKind::FinishDlm);
  } else if (m_config->wizardType == ConfigurationManager::kWizardTypeIsv) {
    const std::size_t downloadIndex = m_pages.size();
    AddPage(PageKind::DownloadIsv);
    if (m_pages.size() > downloadIndex) {
      if (auto* install = dynamic_cast<InstallNotificationsInterface*>(m_pages[downloadIndex].get())) {
        install->SetInstallNotifications([this] { m_installRunning = true; }, [this] { m_installRunning = false; });
      }
    }
    AddPage(PageKind::FinishIsv);
  }
  // From the loading page on to the first page after it.
  OnPageButton(m_pages[kLoadingPage].get(), ButtonType::Next);
  return 0;
}

// --- offer flow ------------------------------------------------------------------------------

bool CBrindleDlg::IsOfferFlowStopped() const { return m_skipAll || m_skipAllAfterDecline || m_offerLimitReached; }

int CBrindleDlg::CountSkippedOfferPages() {
  int count = 0;
  for (;;) {
    const std::size_t next = static_cast<std::size_t>(m_currentPage) + count + 1;
    if (next >= m_pages.size() || m_pages[next]->Kind() != PageKind::Product) return count;
    if (m_offerIndex + 1 >= static_cast<int>(m_packages.size())) return count;
    ++m_offerIndex;
    Package& candidate = *m_packages[m_offerIndex];
    bool skippedByDecline = false;
    if (!IsOfferFlowStopped()) {
      if (m_config->offerDeclined && candidate.m_flow.skipIfEarlierDeclined) {
        skippedByDecline = true;
        candidate.m_flow.maxOffersInFlow = INT_MAX;
        if (m_config->extraOfferSlots > INT_MIN) --m_config->extraOfferSlots;
      }
      for (int i = 0; i < m_offerIndex; ++i) {
        if (m_offerIndex >= m_packages[i]->m_flow.maxOffersInFlow) {
          m_offerLimitReached = true;
          break;
        }
      }
    }
    if (!IsOfferFlowStopped() && !skippedByDecline) return count;

    // Offers at or past the accepted limit are not reported.
    if (m_offerIndex < m_config->maxOffers) {
      const char* reason = m_skipAll             ? "SKIP ALL CLICKED"
                           : skippedByDecline    ? "SKIPPED BECAUSE OF EARLIER DECLINE"
                           : m_offerLimitReached ? "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"
                                                 : "SKIP ALL AFTER DECLINE OFFER DECLINED";
      candidate.SendEvent(EVENT_NOT_SHOWN, {{"13", reason}});
    }
    ++count;
  }
}

// --- exit ------------------------------------------------------------------------------------

void CBrindleDlg::OnClose() {
  // A second close while the question is open, or while closing, changes nothing.
  if (m_asking || m_closing) return;
  const int pages = static_cast<int>(m_pages.size());
  // Until the configuration is loaded the language or the loading page is last, yet the wizard
  // has not begun.
  const bool ask = !m_errorShown && (m_currentPage < pages - 1 || pages <= kFirstLoadedPage);
  if (ask) {
    m_asking = true;
    const bool confirmed =
        m_options.askToClose(GetHwnd(), m_languageManager->GetString(m_installRunning ? "PROGRESS_QUIT" : "MSG_EXIT"));
    m_asking = false;
    const auto deferred = std::exchange(m_deferredButtons, {});
    if (!confirmed) {
      // The wizard goes on from where the buttons reported meanwhile would have taken it.
      for (const auto& [page, type] : deferred) OnPageButton(page, type);
      return;
    }
  }
  ExitWizard(true);
}

void CBrindleDlg::ExitWizard(bool sendCloseEvents) {
  if (m_closing) return;
  m_closing = true;
  m_instanceMutex.reset();
  ::ShowWindow(GetHwnd(), SW_HIDE);

  m_config->exiting = true;
  DownloadManager::GetInstance()->Cancel();
  if (IPage* current = Current(); current != nullptr && !m_errorShown) {
    current->PrepareForExit(std::chrono::steady_clock::now() + kPageExitBudget);
  }

  if (sendCloseEvents) {
    for (const auto& package : m_run->shownOffers) package->SendEvent(EVENT_CLOSED, {});
    if (m_run->mainPackage) m_run->mainPackage->SendEvent(EVENT_CLOSED, {});
  }
  // Events already on their way (a result, a decline, an offer not shown) are given the same
  // bounded chance, so a closing wizard does not cut them off.
  Package::WaitForAllEventsUntil(std::chrono::steady_clock::now() + kEventWaitAtExit);
  CleanupWorkFolder();
  EndDialog(sendCloseEvents ? IDCANCEL : 1);
}

void CBrindleDlg::CleanupWorkFolder() {
  if (!m_config->workFolder.empty()) DeleteFolder(m_config->workFolder);
}

void CBrindleDlg::DeleteFolder(const std::wstring& path) {
  const std::vector<std::wstring> running =
      m_options.runningInstallerFolders ? m_options.runningInstallerFolders() : std::vector<std::wstring>();
  cleanup::DeleteFolder(path, running);
}

// --- messages --------------------------------------------------------------------------------

bool CBrindleDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDC_SHOW_TEST_ERROR && code == BN_CLICKED) {
    ShowError(L"Error", L"Error message");
    return true;
  }
  // Enter and the default button reach the main dialog (the pages are controls of it); they
  // belong to the page that is shown, whose own control of that id is the one meant.
  if (control != nullptr && ::GetParent(control) != GetHwnd()) {
    HWND page = VisiblePageWindow();
    HWND item = page != nullptr ? ::GetDlgItem(page, id) : nullptr;
    if (item != nullptr && ::IsWindowEnabled(item)) {
      ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(item));
    }
    return true;
  }
  return false;
}

bool CBrindleDlg::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(wParam);
        result = 0;
        return true;
      }
      return false;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    case WM_CLOSE:
      OnClose();
      result = 0;
      return true;
    case WM_LOAD_COMPLETE:
      result = OnLoadCompleteMessage();
      return true;
    case WM_DIALOG_SHOWN:
      if (m_options.shown) std::exchange(m_options.shown, nullptr)();
      // Unless the wizard has moved on meanwhile.
      if (m_currentPage == kLanguagePage && !m_errorShown && !m_pages.empty()) {
        FocusPage(m_pages[kLanguagePage]->GetHwnd());
      }
      return true;
    case DM_GETDEFID: {
      // Enter presses the default button of the page that is shown.
      HWND page = VisiblePageWindow();
      result = page != nullptr ? ::SendMessageW(page, DM_GETDEFID, 0, 0) : 0;
      return true;
    }
    default:
      return false;
  }
}

void CBrindleDlg::OnSysCommand(WPARAM /*command*/) {
  CAboutDlg about(m_config->productVersion);
  about.DoModal(GetHwnd());
}

bool CBrindleDlg::OnPaint() {
  if (!::IsIconic(GetHwnd())) return false;
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(GetHwnd(), &paint);
  ::SendMessageW(GetHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  ::GetClientRect(GetHwnd(), &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(GetHwnd(), &paint);
  return true;
}
