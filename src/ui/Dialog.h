#pragma once
// Base of every dialog and page: one static thunk finds the object and forwards to small
// virtual hooks. Derived classes destroy their window before the object dies; should one
// forget, the base destructor first unhooks the window from the dying object (later messages
// get default handling) and then destroys it.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "win32/UniqueResource.h"

namespace ui {

class Dialog {
 public:
  explicit Dialog(UINT templateId) noexcept : m_templateId(templateId) {}
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns the code given to EndDialog, or -1 when it could not be
  // created.
  INT_PTR DoModal(HWND parent);
  // Creates the dialog modelessly as a child or owned window.
  bool Create(HWND parent);
  void DestroyWindow() noexcept;

  HWND GetHwnd() const noexcept { return m_hwnd; }
  HWND GetItem(int id) const noexcept { return ::GetDlgItem(m_hwnd, id); }
  void SetItemText(int id, std::wstring_view text) const;
  std::wstring GetItemText(int id) const;
  void ShowItem(int id, bool show) const noexcept;
  void EndDialog(INT_PTR result) noexcept;
  // The code given to EndDialog, once it was called (a modeless dialog keeps its window).
  std::optional<INT_PTR> EndResult() const noexcept { return m_endResult; }

  // The dialog and its static controls are painted with this colour.
  void SetBackgroundColor(COLORREF color);

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Return true when the command was handled.
  virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
  virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  // Null means "not handled": the default colouring applies.
  virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
  // Other messages; return true when handled and put the message result in `result`.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& /*result*/) { return false; }
  virtual void OnDestroy() {}

 private:
  static INT_PTR CALLBACK Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  HWND m_hwnd = nullptr;
  win32::UniqueHbrush m_backgroundBrush;
  std::optional<INT_PTR> m_endResult;
};

}  // namespace ui
