#pragma once
// A page of the sequence: it keeps the dialog's button and error callbacks and reports through
// them only when they are set. (The error page, kept outside the sequence, has no error
// callback and derives from IPage itself.)
#include "pages/IPage.h"

class WizardPage : public IPage {
 public:
  using IPage::IPage;

  void SetButtonCallback(ButtonCallback callback) override { m_buttonCallback = std::move(callback); }
  void SetErrorCallback(ErrorCallback callback) override { m_errorCallback = std::move(callback); }

 protected:
  ButtonCallback m_buttonCallback;
  ErrorCallback m_errorCallback;
};
