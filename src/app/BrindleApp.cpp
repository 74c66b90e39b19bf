#include "app/BrindleApp.h"

#include "app/BrindleDlg.h"
#include "app/ProcessEnvironment.h"

int CBrindleApp::Run() {
  ProcessEnvironment environment;
  INT_PTR result = 0;
  {
    WizardShellOptions options = DefaultWizardShellOptions();
    options.shown = [&environment] { environment.CompleteSetUp(); };
    CBrindleDlg dialog(std::move(options));
    result = dialog.DoModal(nullptr);
  }
  return result < 0 ? 0 : static_cast<int>(result);
}
