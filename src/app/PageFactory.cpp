// Compiled once per wizard variant, like BuildSettings.cpp, so a wizard links only the pages its
// variant shows; the tests' copy makes every page (BRINDLE_EVERY_PAGE).
#include "app/PageFactory.h"

#include "pages/ClassicPages.h"
#include "pages/DownloadPages.h"
#include "pages/FinishPages.h"
#include "pages/LanguagePage.h"
#include "pages/LicensePage.h"
#include "pages/LoadingPage.h"
#include "pages/ProductPage.h"
#include "pages/WelcomePage.h"

#ifndef BRINDLE_WIZARD_ISV
#error "the build must say which wizard type this is"
#endif
#ifndef BRINDLE_EVERY_PAGE
#define BRINDLE_EVERY_PAGE 0
#endif
#define BRINDLE_DLM_PAGES (BRINDLE_EVERY_PAGE || !BRINDLE_WIZARD_ISV)
#define BRINDLE_ISV_PAGES (BRINDLE_EVERY_PAGE || BRINDLE_WIZARD_ISV)
#define BRINDLE_PLAIN_PAGES (BRINDLE_EVERY_PAGE || !BRINDLE_BT_PAGES)
#define BRINDLE_BT_ONLY_PAGES (BRINDLE_EVERY_PAGE || BRINDLE_BT_PAGES)
#define BRINDLE_CLASSIC_PAGES (BRINDLE_EVERY_PAGE || BRINDLE_BT_CLASSIC_PAGES)

namespace {

class WizardPageFactory final : public PageFactory {
 public:
  explicit WizardPageFactory(ShellLauncher launcher) : m_launcher(std::move(launcher)) {}

  std::unique_ptr<IPage> Create(PageKind kind, const PageContext& context,
                                const std::shared_ptr<Package>& offer) override {
    switch (kind) {
#if BRINDLE_PLAIN_PAGES
      case PageKind::Language:
        return std::make_unique<LanguagePage>(context);
      case PageKind::Welcome:
        return std::make_unique<WelcomePageIsv>(context);
#endif
#if BRINDLE_BT_ONLY_PAGES
      case PageKind::LanguageBT:
        return std::make_unique<LanguagePageBT>(context);
      case PageKind::License:
        return std::make_unique<LicensePageIsv>(context);
#endif
#if BRINDLE_CLASSIC_PAGES
      case PageKind::Warning:
        return std::make_unique<WarningPageBTClassic>(context);
      case PageKind::Options:
        return std::make_unique<OptionsPageBTClassic>(context);
      case PageKind::Configurations:
        return std::make_unique<ConfigurationsPageBTClassic>(context);
#endif
#if BRINDLE_DLM_PAGES
      case PageKind::DownloadDlm:
        return std::make_unique<DownloadPageDlm>(context);
      case PageKind::FinishDlm:
        return std::make_unique<FinishPageDlm>(context, m_launcher);
#endif
#if BRINDLE_ISV_PAGES
      case PageKind::DownloadIsv:
        return std::make_unique<DownloadPageIsv>(context);
      case PageKind::FinishIsv:
        return std::make_unique<FinishPageIsv>(context, m_launcher);
#endif
      case PageKind::Loading:
        return std::make_unique<LoadingPage>(context);
      case PageKind::Product:
        return offer ? std::make_unique<ProductPage>(context, offer) : nullptr;
      default:
        return nullptr;
    }
  }

 private:
  ShellLauncher m_launcher;
};

}  // namespace

std::unique_ptr<PageFactory> MakeWizardPageFactory(ShellLauncher launcher) {
  return std::make_unique<WizardPageFactory>(std::move(launcher));
}
