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

  std::unique_ptr<IPage> Create(PageKind kind, const std::shared_ptr<LanguageManager>& languageManager,
                                ui::Dialog* parent, const std::shared_ptr<Package>& offer) override {
    switch (kind) {
      case PageKind::Language:
        return std::make_unique<LanguagePage>(languageManager, parent);
      case PageKind::LanguageBT:
        return std::make_unique<LanguagePageBT>(languageManager, parent);
      case PageKind::Loading:
        return std::make_unique<LoadingPage>(languageManager, parent);
      case PageKind::Welcome:
        return std::make_unique<WelcomePageIsv>(languageManager, parent);
      case PageKind::License:
        return std::make_unique<LicensePageIsv>(languageManager, parent);
      case PageKind::Warning:
        return std::make_unique<WarningPageBTClassic>(languageManager, parent);
      case PageKind::Product:
        return offer ? std::make_unique<ProductPage>(languageManager, offer, parent) : nullptr;
      case PageKind::Options:
        return std::make_unique<OptionsPageBTClassic>(languageManager, parent);
      case PageKind::Configurations:
        return std::make_unique<ConfigurationsPageBTClassic>(languageManager, parent);
      case PageKind::DownloadDlm:
        return std::make_unique<DownloadPageDlm>(languageManager, parent);
      case PageKind::DownloadIsv:
        return std::make_unique<DownloadPageIsv>(languageManager, parent);
      case PageKind::FinishDlm:
        return std::make_unique<FinishPageDlm>(languageManager, parent, m_launcher);
      case PageKind::FinishIsv:
        return std::make_unique<FinishPageIsv>(languageManager, parent, m_launcher);
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
