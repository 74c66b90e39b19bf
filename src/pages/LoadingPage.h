#pragma once
// Shown while the configuration is fetched: a moving bar, a worker that fetches and applies the
// document and evaluates the offers, then the downloads of the logo and of every offer picture;
// when the last has finished the offers are handed to the dialog, exactly once.
#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "pages/PageInterfaces.h"
#include "pages/WizardPage.h"
#include "win32/Threads.h"

class ConfigurationManager;
class Package;

// Fetches an offer's picture below the offer files into its package, on a download worker, and
// runs `done` on that worker when the fetch has ended, whatever its outcome. The fetch holds the
// picture's slot, never the package. False when no fetch could start: `done` never runs.
[[nodiscard]] bool FetchOfferPicture(const Package& package, std::function<void()> done);

class LoadingPage : public WizardPage, public LoadingPageInterface {
 public:
  LoadingPage(const PageContext& context);

  void OnNavigateToPage() override;
  void SetLoadCompleteCallback(LoadCompleteCallback callback) override;
  // Waits (until the deadline at most) for the worker, so it is not cut off mid-write.
  void PrepareForExit(std::chrono::steady_clock::time_point deadline) override;

 protected:
  bool OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // Everything the worker and the download threads touch: they hold it, never the page, which
  // dies when the wizard closes while they still run.
  struct LoadState {
    win32::Mutex mutex;
    win32::ConditionVariable workerEnded;
    std::shared_ptr<ConfigurationManager> config;
    HWND page = nullptr;
    LoadCompleteCallback onLoadComplete;
    bool workerDone = false;
    bool configurationError = false;
    bool failed = false;
    std::vector<std::shared_ptr<Package>> packages;
    int pendingLoads = 0;
    bool handedOver = false;
    std::vector<char> logo;
  };

  static void RunWorker(std::shared_ptr<LoadState> state) noexcept;
  static void CompleteOne(const std::shared_ptr<LoadState>& state);
  static void HandOver(const std::shared_ptr<LoadState>& state);
  void OnRequestComplete();
  void ShowConfigurationError();

  std::shared_ptr<LoadState> m_state = std::make_shared<LoadState>();
  bool m_started = false;
};
