// Shows one page inside the main dialog's frame, in a chosen language, so a page can be looked
// at and photographed the way the wizard shows it (tests/harness/screenshot.py):
//   page_viewer [--language NAME] [--title TEXT] [--layout FILE]
// --language is a name as the language list shows it ("English", "Deutsch"); --layout writes the
// window's size and each page control's rectangle, relative to the window, as JSON.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <gdiplus.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "TestPage.h"
#include "app/ProcessEnvironment.h"
#include "app/WizardFrame.h"
#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "offers/RunState.h"
#include "resources/resource.h"
#include "ui/ComboBox.h"
#include "win32/Strings.h"

namespace {

// The viewer ends when its window is closed.
class ViewerHost : public WizardFrame {
 public:
  explicit ViewerHost(std::shared_ptr<ConfigurationManager> config)
      : WizardFrame(IDD_BRINDLE_DIALOG, std::move(config)) {}

 protected:
  bool OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& result) override {
    if (message != WM_CLOSE) return false;
    ::PostQuitMessage(0);
    result = 0;
    return true;
  }
};

RECT RelativeRect(HWND window, HWND origin) {
  RECT rect{};
  RECT base{};
  ::GetWindowRect(window, &rect);
  ::GetWindowRect(origin, &base);
  ::OffsetRect(&rect, -base.left, -base.top);
  return rect;
}

std::string JsonRect(const RECT& r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right - r.left) + ", " +
         std::to_string(r.bottom - r.top) + "]";
}

bool WriteLayout(const std::wstring& path, HWND window, HWND page) {
  std::string json = "{\"window\": " + JsonRect(RelativeRect(window, window)) + ", \"controls\": {";
  bool first = true;
  for (HWND child = ::GetWindow(page, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    json += (first ? "" : ", ") + ("\"" + std::to_string(::GetDlgCtrlID(child)) + "\": ") +
            JsonRect(RelativeRect(child, window));
    first = false;
  }
  json += "}}\n";
  FILE* file = nullptr;
  if (_wfopen_s(&file, path.c_str(), L"wb") != 0 || file == nullptr) return false;
  const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
  return std::fclose(file) == 0 && written;
}

int Run(const std::map<std::wstring, std::wstring>& options) {
  const auto option = [&options](const wchar_t* name, const wchar_t* fallback) {
    const auto it = options.find(name);
    return it != options.end() ? it->second : std::wstring(fallback);
  };
  const auto config = ConfigurationManager::GetInstance();
  config->productTitle = L"Tavrel Studio";

  ViewerHost host(config);
  if (!host.Create(nullptr)) return 3;
  ::SetWindowTextW(host.GetHwnd(), option(L"--title", L"Brindle page viewer").c_str());
  host.SetItemText(IDC_TITLE, config->productTitle);
  ::SetWindowPos(host.GetHwnd(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);

  auto languages = std::make_shared<LanguageManager>(&host, config);
  TestPage page({languages, &host, config, std::make_shared<RunState>()});
  if (!host.HostPage(page)) return 3;
  WizardFrame::ShowOnTop(page.GetHwnd());

  // The language list as the language page fills it, kept out of sight.
  HWND comboWindow = ::CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 10, 10, host.GetHwnd(),
                                       nullptr, win32::ModuleInstance(), nullptr);
  const ui::ComboBox combo(comboWindow);
  languages->FillLanguageCombo(combo);
  const std::wstring language = option(L"--language", L"English");
  bool found = false;
  for (int i = 0; i < combo.GetCount() && !found; ++i) {
    if (combo.GetItemText(i) == language) {
      combo.SetCurSel(i);
      found = languages->SetLanguage(language);
    }
  }
  if (!found) return 2;

  ::SetForegroundWindow(host.GetHwnd());
  ::UpdateWindow(host.GetHwnd());
  const std::wstring layout = option(L"--layout", L"");
  if (!layout.empty() && !WriteLayout(layout, host.GetHwnd(), page.GetHwnd())) return 4;

  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::IsDialogMessageW(host.GetHwnd(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  page.DestroyWindow();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring> options;
  for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];

  ProcessEnvironment environment;
  environment.CompleteSetUp();
  return Run(options);
}
