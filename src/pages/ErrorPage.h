#pragma once
// Shows the title and text of whatever went wrong and offers only Close. It is kept outside
// the page sequence and has no error callback of its own.
#include <windows.h>

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"

class ErrorPage : public IPage {
 public:
  ErrorPage(const PageContext& context);

  void OnNavigateToPage() override {}
  void SetButtonCallback(ButtonCallback callback) override { m_buttonCallback = std::move(callback); }
  void SetErrorCallback(ErrorCallback /*callback*/) override {}

  void SetTexts(const std::wstring& title, const std::wstring& text);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  std::wstring m_title;
  std::wstring m_text;
  ButtonCallback m_buttonCallback;
  CStaticFromImage m_icon;
};
