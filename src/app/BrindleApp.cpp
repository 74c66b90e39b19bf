#include "app/BrindleApp.h"

#include "app/BrindleDlg.h"
#include "app/ProcessEnvironment.h"

int CBrindleApp::Run() {
  ProcessEnvironment environment;
  INT_PTR result = 0;
  {
    CBrindleDlg dialog;
    result = dialog.DoModal(nullptr);
  }
  return result < 0 ? 0 : static_cast<int>(result);
}
