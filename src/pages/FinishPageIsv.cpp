// The installer wizard's finish page (FinishPages.h): a file of its own, so a download-manager
// wizard, whose page factory never makes it, does not carry it.
#include "pages/FinishPages.h"

#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"
#include "resources/resource.h"

FinishPageIsv::FinishPageIsv(const PageContext& context, ShellLauncher launcher)
    : FinishPage(context, PageKind::FinishIsv, IDD_FINISH_PAGE_ISV, std::move(launcher)) {}

void FinishPageIsv::BindPageTexts() {
  BindText(IDC_FINISH_TITLE, "PAGE_FINISH_TITLE");
  BindText(IDC_FINISH_TEXT, "PAGE_FINISH_TEXT");
  BindText(IDC_FINISH, "BUTTON_FINISH");
  BindText(IDC_LAUNCH_CHECK, "LAUNCH_CHECKBOX");
}

bool FinishPageIsv::OnInitDialog() {
  FinishPage::OnInitDialog();
  ::SendMessageW(GetItem(IDC_LAUNCH_CHECK), BM_SETCHECK, BST_CHECKED, 0);
  return true;
}

void FinishPageIsv::OnFinishClicked() {
  if (IsChecked(IDC_LAUNCH_CHECK)) {
    const auto& config = m_config;
    // The installed application is the user's own: started with the user's rights, not the
    // wizard's.
    Launch({L"open", config::ExpandPathTokens(config->launchPath, config->GetPathTokens()), config->launchArguments,
            L"", true});
  }
  ReportFinish();
}
