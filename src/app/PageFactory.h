#pragma once
// Makes the wizard's pages for the main dialog. The wizard's own factory makes the real page
// classes; tests hand the dialog one that returns stand-ins for some kinds, so the page
// sequence can be driven without a service or a download.
#include <functional>
#include <memory>
#include <vector>

#include "pages/IPage.h"
#include "pages/PageInterfaces.h"
#include "pages/ShellLauncher.h"

class Package;

class PageFactory {
 public:
  virtual ~PageFactory() = default;
  // `offer` is set for PageKind::Product only. Null when the kind has no page in this build.
  virtual std::unique_ptr<IPage> Create(PageKind kind, const PageContext& context,
                                        const std::shared_ptr<Package>& offer) = 0;
};

// The real pages; the finish pages start programs through `launcher`.
std::unique_ptr<PageFactory> MakeWizardPageFactory(ShellLauncher launcher = ShellExecuteLauncher);
