#pragma once
// A page built like every wizard page: three pictures and an empty picture, texts bound to
// keys (one the documents lack, one without a control) and a line of links whose clicks are
// recorded instead of opened.
#include <windows.h>

#include <string>
#include <vector>

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"

class TestPage : public IPage {
 public:
  TestPage(const PageContext& context);
  ~TestPage() override;

  void OnNavigateToPage() override {}
  void SetButtonCallback(ButtonCallback callback) override { m_buttonCallback = std::move(callback); }
  void SetErrorCallback(ErrorCallback callback) override { m_errorCallback = std::move(callback); }
  void UpdateTexts() override;

  int UpdateCount() const { return m_updates; }
  const std::vector<std::wstring>& OpenedUrls() const { return m_openedUrls; }
  const std::vector<std::pair<HWND, std::string>>& BoundTexts() const { return m_texts; }

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;

 private:
  ButtonCallback m_buttonCallback;
  ErrorCallback m_errorCallback;
  CStaticFromImage m_downloadPicture;
  CStaticFromImage m_successPicture;
  CStaticFromImage m_failurePicture;
  CStaticFromImage m_emptyPicture;
  int m_updates = 0;
  std::vector<std::wstring> m_openedUrls;
};
