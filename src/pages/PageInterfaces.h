#pragma once
// What the main dialog asks of the pages that hand it work: the loading
// page's hand-over and the installer page's notifications.
#include <functional>
#include <memory>
#include <vector>

#include "pages/PageKind.h"

class Package;

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
