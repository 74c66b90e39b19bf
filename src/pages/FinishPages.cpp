#include "pages/FinishPages.h"

#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"
#include "i18n/LanguageManager.h"
#include "install/HeldFile.h"
#include "resources/resource.h"

FinishPage::FinishPage(const PageContext& context, PageKind kind, UINT templateId, ShellLauncher launcher)
    : WizardPage(context, kind, templateId), m_launcher(std::move(launcher)) {}

bool FinishPage::OnInitDialog() {
  WizardPage::OnInitDialog();
  BindPageTexts();
  UpdateTexts();
  m_icon.SubclassDlgItem(IDC_PAGE_IMAGE, *this);
  m_icon.LoadFromResource(IDR_IMAGE_SUCCESS, L"IMAGE_BLOB2");
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_FINISH, 0);
  return true;
}

void FinishPage::OnNavigateToPage() {
  // A finished wizard is closed, not minimised.
  HWND main = Parent() != nullptr ? Parent()->GetHwnd() : nullptr;
  if (main == nullptr) return;
  const LONG_PTR style = ::GetWindowLongPtrW(main, GWL_STYLE);
  ::SetWindowLongPtrW(main, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX));
  ::SetWindowPos(main, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
}

bool FinishPage::OnCommand(int id, int code, HWND /*control*/) {
  if (id != IDC_FINISH || code != BN_CLICKED) return false;
  OnFinishClicked();
  return true;
}

void FinishPage::ReportFinish() const {
  if (m_buttonCallback) m_buttonCallback(ButtonType::Finish);
}

void FinishPage::Launch(const ShellCommand& command) const {
  // Nothing to start is not an error: the wizard still finishes.
  if (!command.file.empty() && m_launcher) m_launcher(command);
}

bool FinishPage::IsChecked(int id) const { return ::SendMessageW(GetItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

FinishPageDlm::FinishPageDlm(const PageContext& context, ShellLauncher launcher)
    : FinishPage(context, PageKind::FinishDlm, IDD_FINISH_PAGE_DLM, std::move(launcher)) {}

void FinishPageDlm::BindPageTexts() {
  BindText(IDC_FINISH_TITLE, "PAGE_FINISH_TITLE");
  BindText(IDC_FINISH_TEXT, "PAGE_FINISH_TEXT");
  BindText(IDC_FINISH, "BUTTON_FINISH");
  BindText(IDC_LAUNCH_RADIO, "LAUNCH_RADIO");
  BindText(IDC_OPEN_FOLDER_RADIO, "OPEN_FOLDER_RADIO");
}

bool FinishPageDlm::OnInitDialog() {
  FinishPage::OnInitDialog();
  ::SendMessageW(GetItem(IDC_LAUNCH_RADIO), BM_SETCHECK, BST_CHECKED, 0);
  return true;
}

void FinishPageDlm::OnFinishClicked() {
  const auto& config = m_config;
  const std::wstring& path = config->productFilePath;
  if (IsChecked(IDC_LAUNCH_RADIO) && !path.empty()) {
    // The product lies in the user's own Downloads folder: it is held unchangeable from the
    // check until it has been started, and it starts only as it was downloaded.
    const install::HeldFile product(path, config->productFileSha256);
    if (!product.Matches()) {
      if (m_errorCallback) {
        m_errorCallback(m_languageManager->GetString("PAGE_DOWNLOAD_ERROR_TITLE"),
                        m_languageManager->GetString("PAGE_DOWNLOAD_ERROR_DESC"));
      }
      return;
    }
    // Started in its own folder, not in the wizard's.
    Launch({L"open", path, L"", path.substr(0, path.find_last_of(L'\\') + 1)});
  } else if (IsChecked(IDC_OPEN_FOLDER_RADIO) && !path.empty()) {
    Launch({L"open", ExplorerPath(), L"/select,\"" + path + L"\"", L""});
  }
  ReportFinish();
}
