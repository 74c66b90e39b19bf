#pragma once
// The pages that end a successful run. The DLM page launches the downloaded product or opens
// its folder with the file selected; the ISV page can start the installed application. Both
// read the configuration when Finish is pressed, not when they are shown.
#include <windows.h>

#include "pages/CStaticFromImage.h"
#include "pages/ShellLauncher.h"
#include "pages/WizardPage.h"

class FinishPage : public WizardPage {
 public:
  void OnNavigateToPage() override;

 protected:
  FinishPage(const PageContext& context, PageKind kind, UINT templateId, ShellLauncher launcher);
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  virtual void BindPageTexts() = 0;
  virtual void OnFinishClicked() = 0;
  void ReportFinish() const;
  void Launch(const ShellCommand& command) const;
  bool IsChecked(int id) const;

 private:
  ShellLauncher m_launcher;
  CStaticFromImage m_icon;
};

class FinishPageDlm : public FinishPage {
 public:
  FinishPageDlm(const PageContext& context, ShellLauncher launcher = ShellExecuteLauncher);

 protected:
  bool OnInitDialog() override;
  void BindPageTexts() override;
  void OnFinishClicked() override;
};

class FinishPageIsv : public FinishPage {
 public:
  FinishPageIsv(const PageContext& context, ShellLauncher launcher = ShellExecuteLauncher);

 protected:
  bool OnInitDialog() override;
  void BindPageTexts() override;
  void OnFinishClicked() override;
};
