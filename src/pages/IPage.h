#pragma once
// Base of every wizard page: a child dialog in the configuration's colours with an accent band
// along its bottom, texts bound to locale keys and refreshed on every language change, and
// callbacks through which the page reports buttons and errors to the main dialog. A page is
// registered with the language manager for exactly the lifetime of the object.
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "i18n/TextTarget.h"
#include "pages/ButtonType.h"
#include "pages/PageKind.h"
#include "ui/Dialog.h"
#include "win32/UniqueResource.h"

class ConfigurationManager;
class LanguageManager;
struct RunState;

// What every page is made with: the shared texts, the window it lives in, the configuration and
// the run's shared state. The dialog makes it; pages never fetch the configuration themselves.
struct PageContext {
  std::shared_ptr<LanguageManager> languageManager;
  ui::Dialog* parent = nullptr;
  std::shared_ptr<ConfigurationManager> config;
  std::shared_ptr<RunState> run;
};

class IPage : public ui::Dialog, public i18n::TextTarget {
 public:
  using ButtonCallback = std::function<void(ButtonType)>;
  using ErrorCallback = std::function<void(const std::wstring& title, const std::wstring& text)>;

  IPage(const PageContext& context, PageKind kind, UINT templateId);
  ~IPage() override;

  // Creates the page window as a child of the parent given at construction.
  bool Create();
  using ui::Dialog::Create;

  // Called by the main dialog each time the page becomes the current one.
  virtual void OnNavigateToPage() = 0;
  virtual void SetButtonCallback(ButtonCallback callback) = 0;
  virtual void SetErrorCallback(ErrorCallback callback) = 0;
  // Sets every bound control's text from the current language; a missing or empty text leaves
  // the control as it is.
  void UpdateTexts() override;
  PageKind Kind() const noexcept { return m_kind; }
  std::wstring GetPageName() const { return PageName(m_kind); }
  // Called once on the current page when the user has confirmed closing the wizard, before
  // anything is cleaned up: the page stops what it runs (a download, a wait for an installer)
  // and returns by `deadline` at the latest.
  virtual void PrepareForExit(std::chrono::steady_clock::time_point /*deadline*/) {}

 protected:
  bool OnInitDialog() override;
  // Enter and Escape never close a page.
  void OnOK() override {}
  void OnCancel() override {}
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

  // Call from OnInitDialog, before UpdateTexts. An id without a control binds nothing visible.
  void BindText(int controlId, const std::string& key);

  ui::Dialog* Parent() const noexcept { return m_parent; }

  std::shared_ptr<LanguageManager> m_languageManager;
  std::shared_ptr<ConfigurationManager> m_config;
  std::shared_ptr<RunState> m_run;
  std::vector<std::pair<HWND, std::string>> m_texts;
  win32::UniqueHbrush m_accentBrush;
  HWND m_bottomBar = nullptr;

 private:
  ui::Dialog* m_parent;
  PageKind m_kind;
};
