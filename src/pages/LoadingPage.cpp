#include "pages/LoadingPage.h"

#include <commctrl.h>

#include <exception>
#include <string>

#include "config/ApiManager.h"
#include "config/ConfigurationManager.h"
#include "config/Urls.h"
#include "download/DownloadManager.h"
#include "i18n/LanguageManager.h"
#include "offers/ConfigurationLoader.h"
#include "offers/Package.h"
#include "resources/resource.h"
#include "win32/DebugLog.h"
#include "win32/WindowMessages.h"

bool FetchOfferPicture(const Package& package, std::function<void()> done) {
  return DownloadManager::GetInstance()->DownloadToMemoryAsync(
      package.PictureUrl(),
      [slot = package.PictureSlot(), done = std::move(done)](std::unique_ptr<std::vector<char>> bytes) {
        if (bytes) slot->Store(std::move(*bytes));
        done();
      });
}

LoadingPage::LoadingPage(const PageContext& context) : WizardPage(context, PageKind::Loading, IDD_LOADING_PAGE) {}

bool LoadingPage::OnInitDialog() {
  WizardPage::OnInitDialog();
  m_state->page = GetHwnd();
  m_state->config = m_config;
  UpdateTexts();
  return true;
}

void LoadingPage::SetLoadCompleteCallback(LoadCompleteCallback callback) {
  std::lock_guard lock(m_state->mutex);
  m_state->onLoadComplete = std::move(callback);
}

void LoadingPage::OnNavigateToPage() {
  HWND bar = GetItem(IDC_PROGRESS);
  ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
  ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
  ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
  // The configuration is fetched once per run; the dialog never comes back here.
  if (m_started) return;
  m_started = true;
  // Detached, holding only the shared state: a page that is closed must not wait for it.
  if (!win32::StartThread([state = m_state]() noexcept { RunWorker(state); })) {
    std::lock_guard lock(m_state->mutex);
    m_state->failed = m_state->workerDone = true;
    ::PostMessageW(GetHwnd(), WM_REQUEST_COMPLETE, 0, 0);
  }
}

void LoadingPage::RunWorker(std::shared_ptr<LoadState> state) noexcept {
  LoadedOffers loaded;
  bool failed = false;
  try {
    const auto& config = state->config;
    const auto document = ApiManager::GetInstance()->RequestConfiguration(*config);
    loaded = ApplyConfigurationDocument(*document, *config);
  } catch (const std::exception& error) {
    win32::DebugLine(std::string("configuration failed: ") + error.what());
    failed = true;
  } catch (...) {
    failed = true;
  }
  HWND page = nullptr;
  {
    std::lock_guard lock(state->mutex);
    state->packages = std::move(loaded.packages);
    state->configurationError = loaded.productUnusable;
    state->failed = failed;
    state->workerDone = true;
    page = state->page;
  }
  state->workerEnded.notify_all();
  ::PostMessageW(page, WM_REQUEST_COMPLETE, 0, 0);
}

void LoadingPage::PrepareForExit(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_state->mutex);
  if (m_started) m_state->workerEnded.wait_until(lock, deadline, [this] { return m_state->workerDone; });
}

bool LoadingPage::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& result) {
  if (message != WM_REQUEST_COMPLETE) return false;
  OnRequestComplete();
  result = 0;
  return true;
}

void LoadingPage::OnRequestComplete() {
  const auto& config = m_config;
  const bool dlm = config->wizardType == ConfigurationManager::kWizardTypeDlm;
  std::vector<std::shared_ptr<Package>> packages;
  bool startLogo = false;
  bool unusable = false;
  int pending = 0;
  {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->workerDone || m_state->pendingLoads != 0 || m_state->handedOver) return;
    unusable = m_state->configurationError || (m_state->failed && dlm);
    // An installer goes on without offers when the service cannot be used.
    if (m_state->failed) m_state->packages.clear();
    packages = m_state->packages;
    // Fetched over https only: nobody on the way may choose what the elevated wizard decodes.
    startLogo = !unusable && dlm && config::IsHttpsUrl(config->logoUrl);
    if (!unusable && dlm && !config->logoUrl.empty() && !startLogo) win32::DebugLine("logo not fetched: not https");
    // Counted before anything starts, so an early finisher cannot hand over too soon.
    pending = m_state->pendingLoads = unusable ? 0 : static_cast<int>(packages.size()) + (startLogo ? 1 : 0);
  }
  if (unusable) {
    ShowConfigurationError();
    return;
  }
  if (pending == 0) {
    HandOver(m_state);
    return;
  }
  if (startLogo) {
    const bool started = DownloadManager::GetInstance()->DownloadToMemoryAsync(
        config->logoUrl, [state = m_state](std::unique_ptr<std::vector<char>> bytes) {
          if (bytes && !bytes->empty()) {
            std::lock_guard lock(state->mutex);
            state->logo = std::move(*bytes);
          }
          CompleteOne(state);
        });
    if (!started) CompleteOne(m_state);
  }
  // A picture that cannot be fetched counts as finished: the offer is shown without it.
  for (const auto& package : packages) {
    if (!FetchOfferPicture(*package, [state = m_state] { CompleteOne(state); })) CompleteOne(m_state);
  }
}

void LoadingPage::CompleteOne(const std::shared_ptr<LoadState>& state) {
  {
    std::lock_guard lock(state->mutex);
    if (--state->pendingLoads != 0) return;
  }
  HandOver(state);
}

void LoadingPage::HandOver(const std::shared_ptr<LoadState>& state) {
  LoadCompleteCallback callback;
  LoadResult result;
  {
    std::lock_guard lock(state->mutex);
    if (state->handedOver) return;
    state->handedOver = true;
    callback = state->onLoadComplete;
    result.packages = state->packages;
    result.logo = state->logo;
  }
  // The dialog's callback only posts; it may run on a download thread.
  if (callback) callback(std::move(result));
}

void LoadingPage::ShowConfigurationError() {
  if (!m_errorCallback) return;
  switch (m_config->wizardType) {
    case ConfigurationManager::kWizardTypeDlm:
      m_errorCallback(m_languageManager->GetString("PAGE_CONFIGURATION_ERROR_TITLE"),
                      m_languageManager->GetString("PAGE_CONFIGURATION_ERROR_DESC"));
      break;
    case ConfigurationManager::kWizardTypeIsv:
      m_errorCallback(m_languageManager->GetString("PAGE_ERROR_TITLE"), L"");
      break;
    case 0:
      m_errorCallback(L"", L"");
      break;
    default:
      break;
  }
}
