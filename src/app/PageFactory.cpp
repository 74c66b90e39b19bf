#include "app/PageFactory.h"

#include "pages/FinishPages.h"
#include "pages/LanguagePage.h"

namespace {

class WizardPageFactory final : public PageFactory {
 public:
  explicit WizardPageFactory(ShellLauncher launcher) : m_launcher(std::move(launcher)) {}

  std::unique_ptr<IPage> Create(PageKind kind, const std::shared_ptr<LanguageManager>& languageManager,
                                ui::Dialog* parent, const std::shared_ptr<Package>& /*offer*/) override {
    switch (kind) {
      case PageKind::Language:
        return std::make_unique<LanguagePage>(languageManager, parent);
      case PageKind::LanguageBT:
        return std::make_unique<LanguagePageBT>(languageManager, parent);
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
