#pragma once
// The main wizard window: header, page area and accent band. It owns the page sequence and
// all navigation (pages only report their buttons and errors), the offer flow, the error page
// and the close sequence. It refuses to run twice at once.
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/PageFactory.h"
#include "app/WizardFrame.h"
#include "pages/ButtonType.h"
#include "pages/CStaticFromImage.h"
#include "win32/Threads.h"
#include "win32/UniqueResource.h"

class ConfigurationManager;
class ErrorPage;
class IPage;
class LanguageManager;
class Package;
struct RunState;

// What the dialog uses from outside, replaceable for tests.
struct WizardShellOptions {
  // The run's configuration; the process-wide one by default, a fresh one in each test.
  std::shared_ptr<ConfigurationManager> config;
  std::unique_ptr<PageFactory> pages;
  // Asks whether to close; true means OK. The default is a message box owned by the wizard.
  std::function<bool(HWND owner, const std::wstring& text)> askToClose;
  // Folders from which installers the wizard started still run; they are left for the next
  // restart instead of being emptied under the installer.
  std::function<std::vector<std::wstring>()> runningInstallerFolders;
  // Called on the UI thread once the dialog shows, before any input reaches it: the process's
  // set-up that no page needs before then.
  std::function<void()> shown;
};
WizardShellOptions DefaultWizardShellOptions();

class CBrindleDlg : public WizardFrame {
 public:
  explicit CBrindleDlg(WizardShellOptions options);
  ~CBrindleDlg() override;

  // For tests and tools: the pages, the current index, whether the error page shows, the error
  // page (made when first shown), the run.
  const std::vector<std::unique_ptr<IPage>>& Pages() const noexcept { return m_pages; }
  int CurrentPage() const noexcept { return m_currentPage; }
  bool ErrorShown() const noexcept { return m_errorShown; }
  ErrorPage* GetErrorPage() const noexcept { return m_errorPage.get(); }
  RunState& Run() const noexcept { return *m_run; }

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // The hand-over from the loading page, which may run on a worker thread: it fills this and
  // posts WM_LOAD_COMPLETE; only the UI thread takes the result out.
  struct LoadMailbox {
    win32::Mutex mutex;
    std::optional<LoadResult> result;
  };

  bool AcquireSingleInstance();
  void OnSysCommand(WPARAM command);
  bool OnPaint();

  // Page sequence.
  PageContext Context();
  bool CreateInitialPages();
  void AddLoadingPage();
  bool CreatePage(IPage& page);
  void CreateAndAddPage(std::unique_ptr<IPage> page);
  void AddPage(PageKind kind, const std::shared_ptr<Package>& offer = nullptr);
  void ShowPage(int index);
  void OnPageButton(const IPage* page, ButtonType type);
  void ShowError(const std::wstring& title, const std::wstring& text);
  LRESULT OnLoadCompleteMessage();
  // The page of the sequence that is current, or null before there is one.
  IPage* Current() const noexcept;
  HWND VisiblePageWindow() const;
  void SetSystemClose(bool present);

  // Offer flow.
  int CountSkippedOfferPages();
  bool IsOfferFlowStopped() const;

  // Exit.
  void OnClose();
  void ExitWizard(bool sendCloseEvents);
  void ReleasePictures();
  void CleanupWorkFolder();
  void DeleteFolder(const std::wstring& path);

  WizardShellOptions m_options;
  std::shared_ptr<RunState> m_run;
  HICON m_hIcon = nullptr;  // shared icon resource, not owned
  std::vector<std::unique_ptr<IPage>> m_pages;
  int m_currentPage = -1;
  std::unique_ptr<ErrorPage> m_errorPage;
  // Shared with every page; each page keeps it alive until it has unregistered.
  std::shared_ptr<LanguageManager> m_languageManager;
  bool m_errorShown = false;
  bool m_installRunning = false;
  bool m_returnedToFirstPage = false;
  CStaticFromImage m_productIcon;
  std::vector<std::shared_ptr<Package>> m_packages;
  int m_offerIndex = 0;
  bool m_skipAll = false;
  bool m_skipAllAfterDecline = false;
  bool m_offerLimitReached = false;
  win32::UniqueHandle m_instanceMutex;
  std::shared_ptr<LoadMailbox> m_loadMailbox = std::make_shared<LoadMailbox>();
  bool m_asking = false;   // the close question is open
  bool m_closing = false;  // the close sequence runs
  // Buttons reported while the close question was open; they take effect when it is cancelled.
  std::vector<std::pair<const IPage*, ButtonType>> m_deferredButtons;
};
