#pragma once
// The working pages. Both download the main product and every accepted offer, one at a time,
// and start the offers' installers without waiting. The DLM page saves the product in the
// user's download folder and leaves it there; the ISV page runs the product's installer first
// and waits for it. Every package's outcome is reported; the wizard then moves on to the
// finish page, or to the error page when the main product failed.
#include <windows.h>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "download/DownloadManager.h"
#include "install/ExecResult.h"
#include "install/StartGate.h"
#include "pages/CStaticFromImage.h"
#include "pages/PageInterfaces.h"
#include "pages/WizardPage.h"
#include "win32/DetachedTask.h"

class Package;

struct InstallItem {
  std::shared_ptr<Package> package;
  std::wstring path;
  std::string sha256;  // of the file as it was written; checked again right before it runs
};

// How an installer start ended, and the program it ran: the installer unpacked from an
// archive, else the download itself.
struct InstallStart {
  install::ExecResult result;
  std::wstring program;
};

class DownloadPage : public WizardPage {
 public:
  static constexpr UINT_PTR DOWNLOAD_TIMER_ID = 0x1000;
  static constexpr UINT_PTR INSTALL_TIMER_ID = 0x1002;

  void OnNavigateToPage() override;
  // Stops the transfer and the installer start under way (the dialog has cancelled downloads)
  // and waits for them until the deadline: nothing is started afterwards. An installer that
  // runs is left to finish on its own.
  void PrepareForExit(std::chrono::steady_clock::time_point deadline) override;

 protected:
  DownloadPage(const PageContext& context, PageKind kind, UINT templateId);
  ~DownloadPage() override;
  bool OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  // Where the main product is saved: its own file name in the download folder (DLM), or a
  // folder of its own under the work folder (ISV).
  virtual bool MainGoesToDownloadFolder() const = 0;
  // Called once all downloads have ended.
  virtual void OnDownloadsDone() = 0;
  virtual void OnInstallerEnded(const InstallItem& item, const InstallStart& start) = 0;

  void StartNextDownload();
  void OnDownloadTimer();
  // Starts the installer of the front item: unpacking and starting happen off the UI thread.
  void StartInstall(const InstallItem& item, const std::wstring& parameters, bool wait);
  void OnInstallTimer();
  void ReportFailure(Package& package, const std::wstring& text) const;
  // An offer's installer is not waited for: whether it started is all there is to tell.
  void ReportOfferStart(const InstallItem& item, const install::ExecResult& result) const;
  void SetMarquee();
  // The run's end: the error page with these texts when the main product failed, else on.
  void Conclude(const char* errorTitleKey, const char* errorTextKey) const;
  bool Exiting() const;

  bool m_marquee = false;
  win32::Pending<DownloadResult> m_downloadResult;
  win32::Pending<InstallStart> m_execResult;
  std::shared_ptr<install::StartGate> m_startGate = std::make_shared<install::StartGate>();
  bool m_mainFailed = false;
  std::deque<std::shared_ptr<Package>> m_downloadQueue;
  std::deque<InstallItem> m_installQueue;
  CStaticFromImage m_icon;
  int m_downloadNumber = 0;  // names each package's own folder under the work folder
  bool m_started = false;

 private:
  void OnProgress(WPARAM percent);
};

class DownloadPageDlm : public DownloadPage {
 public:
  DownloadPageDlm(const PageContext& context);

 protected:
  bool OnInitDialog() override;
  bool MainGoesToDownloadFolder() const override { return true; }
  void OnDownloadsDone() override;
  void OnInstallerEnded(const InstallItem& item, const InstallStart& start) override;

 private:
  void RunDownloadedOffers();
};

class DownloadPageIsv : public DownloadPage, public InstallNotificationsInterface {
 public:
  DownloadPageIsv(const PageContext& context);
  void SetInstallNotifications(std::function<void()> started, std::function<void()> finished) override;

 protected:
  bool OnInitDialog() override;
  bool MainGoesToDownloadFolder() const override { return false; }
  void OnDownloadsDone() override;
  void OnInstallerEnded(const InstallItem& item, const InstallStart& start) override;

 private:
  void StartNextInstall();
  std::wstring MainInstallerParameters() const;

  std::function<void()> m_onInstallStarted;
  std::function<void()> m_onInstallFinished;
  std::wstring m_mainInstallerPath;
};

// The classic installer options as the product's command line: "/S /FORCEINSTALL " and one
// character per position, from the stored check marks or fixed.
std::wstring ClassicCommandLine(const std::array<bool, 8>& options);
// Where a package is fetched from: an http(s) address as it is, anything else below the offer
// files. Only https is ever fetched (see the download page).
std::wstring ResolveDownloadUrl(const std::wstring& location, const std::wstring& offerFilesBaseUrl);
