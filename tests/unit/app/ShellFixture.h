#pragma once
// The real main dialog, modeless in the test process, with stand-in pages where a test asks
// for them; the close question and the shell launcher are recorded instead of shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/BrindleDlg.h"
#include "config/ConfigurationManager.h"

// A page of the test template (its Next button is 1010) that reports whatever a test makes it
// report.
class StubPage : public IPage, public LoadingPageInterface, public InstallNotificationsInterface {
 public:
  StubPage(const PageContext& context, PageKind kind);

  void OnNavigateToPage() override { ++navigations; }
  void SetButtonCallback(ButtonCallback callback) override { m_buttonCallback = std::move(callback); }
  void SetErrorCallback(ErrorCallback callback) override { m_errorCallback = std::move(callback); }
  void PrepareForExit(std::chrono::steady_clock::time_point) override { ++exitPreparations; }
  void SetLoadCompleteCallback(LoadCompleteCallback callback) override { onLoadComplete = std::move(callback); }
  void SetInstallNotifications(std::function<void()> started, std::function<void()> finished) override {
    installStarted = std::move(started);
    installFinished = std::move(finished);
  }

  void Press(ButtonType type) const { m_buttonCallback(type); }
  void ReportError(const std::wstring& title, const std::wstring& text) const { m_errorCallback(title, text); }

  int navigations = 0;
  int exitPreparations = 0;
  LoadCompleteCallback onLoadComplete;
  std::function<void()> installStarted;
  std::function<void()> installFinished;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  ButtonCallback m_buttonCallback;
  ErrorCallback m_errorCallback;
};

class ShellFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Pages of these kinds are stand-ins named as the real ones are; the others are real.
  void Stub(std::initializer_list<PageKind> kinds);
  void StubAllButFinishPages();
  void Start();
  // Runs the message loop the modal dialog would run, IsDialogMessage included.
  void Pump();
  bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
  // Hands the offers over from the loading page, on a thread of its own as the real one does,
  // and waits for the dialog to take them.
  void CompleteLoading(std::vector<std::shared_ptr<Package>> packages = {});
  // The hand-over alone: the dialog takes it when its messages are next pumped.
  void HandOver(std::vector<std::shared_ptr<Package>> packages = {});

  HWND Main() const { return dialog->GetHwnd(); }
  IPage& Current() const { return *dialog->Pages()[dialog->CurrentPage()]; }
  StubPage& StubAt(int index) const;
  std::vector<std::wstring> PageNames() const;
  int CloseItems() const;  // SC_CLOSE entries of the system menu
  void Close() { ::SendMessageW(Main(), WM_CLOSE, 0, 0); }

  std::shared_ptr<ConfigurationManager> config;
  std::unique_ptr<CBrindleDlg> dialog;
  std::set<PageKind> stubs;
  std::vector<std::wstring> questions;
  // Whether the main dialog was visible at each call of the shell's "shown" option.
  std::vector<bool> shownCalls;
  bool answer = true;
  std::function<void()> whileAsking;
  std::vector<ShellCommand> launches;
};
