#include "app/PageFactory.h"

#include "pages/ClassicPages.h"
#include "pages/DownloadPages.h"
#include "pages/FinishPages.h"
#include "pages/LanguagePage.h"
#include "pages/LicensePage.h"
#include "pages/LoadingPage.h"
#include "pages/ProductPage.h"
#include "pages/WelcomePage.h"

namespace {

class WizardPageFactory final : public PageFactory {
 public:
  explicit WizardPageFactory(ShellLauncher launcher) : m_launcher(std::move(launcher)) {}

  std::unique_ptr<IPage> Create(PageKind kind, const PageContext& context,
                                const std::shared_ptr<Package>& offer) override {
    switch (kind) {
      case PageKind::Language:
        return std::make_unique<LanguagePage>(context);
      case PageKind::LanguageBT:
        return std::make_unique<LanguagePageBT>(context);
      case PageKind::Loading:
        return std::make_unique<LoadingPage>(context);
      case PageKind::Welcome:
        return std::make_unique<WelcomePageIsv>(context);
      case PageKind::License:
        return std::make_unique<LicensePageIsv>(context);
      case PageKind::Warning:
        return std::make_unique<WarningPageBTClassic>(context);
      case PageKind::Product:
        return offer ? std::make_unique<ProductPage>(context, offer) : nullptr;
      case PageKind::Options:
        return std::make_unique<OptionsPageBTClassic>(context);
      case PageKind::Configurations:
        return std::make_unique<ConfigurationsPageBTClassic>(context);
      case PageKind::DownloadDlm:
        return std::make_unique<DownloadPageDlm>(context);
      case PageKind::DownloadIsv:
        return std::make_unique<DownloadPageIsv>(context);
      case PageKind::FinishDlm:
        return std::make_unique<FinishPageDlm>(context, m_launcher);
      case PageKind::FinishIsv:
        return std::make_unique<FinishPageIsv>(context, m_launcher);
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
