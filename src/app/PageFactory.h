#pragma once
// Makes the wizard's pages for the main dialog. The wizard's own factory makes the real page
// classes; tests hand the dialog one that returns stand-ins for some kinds, so the page
// sequence can be driven without a service or a download.
#include <functional>
#include <memory>
#include <vector>

#include "pages/IPage.h"
#include "pages/ShellLauncher.h"

class LanguageManager;
class Package;
namespace ui {
class Dialog;
}

enum class PageKind {
  Language,
  LanguageBT,
  Loading,
  Welcome,
  License,
  Warning,
  Product,
  Options,
  Configurations,
  DownloadDlm,
  DownloadIsv,
  FinishDlm,
  FinishIsv,
};

// What the loading page hands to the dialog once everything is fetched: the accepted offers in
// order and the bytes of the product logo (empty when there is none); the dialog decodes the
// pictures on its own thread.
struct LoadResult {
  std::vector<std::shared_ptr<Package>> packages;
  std::vector<char> logo;
};
using LoadCompleteCallback = std::function<void(LoadResult)>;

// Pages that hand over the offer list implement this as well.
class LoadingPageInterface {
 public:
  // Called at most once per run, possibly on a worker thread.
  virtual void SetLoadCompleteCallback(LoadCompleteCallback callback) = 0;

 protected:
  ~LoadingPageInterface() = default;
};

// Pages that run installers tell the dialog, which asks a different question on close then.
class InstallNotificationsInterface {
 public:
  virtual void SetInstallNotifications(std::function<void()> started, std::function<void()> finished) = 0;

 protected:
  ~InstallNotificationsInterface() = default;
};

class PageFactory {
 public:
  virtual ~PageFactory() = default;
  // `offer` is set for PageKind::Product only. Null when the kind has no page in this build.
  virtual std::unique_ptr<IPage> Create(PageKind kind, const std::shared_ptr<LanguageManager>& languageManager,
                                        ui::Dialog* parent, const std::shared_ptr<Package>& offer) = 0;
};

// The real pages; the finish pages start programs through `launcher`.
std::unique_ptr<PageFactory> MakeWizardPageFactory(ShellLauncher launcher = ShellExecuteLauncher);
