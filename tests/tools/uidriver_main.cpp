// Command-line front of the UI driver, for scripts (demo, screenshots):
//   uidriver wait --title T [--timeout MS]     prints "x y width height" of the window
//   uidriver text --title T --id N             prints the control's text
//   uidriver click --title T --id N
//   uidriver post --title T --msg N [--wparam N]
//   uidriver send --title T --id N --msg N [--wparam N] [--lparam N]   prints the result
//   uidriver close --title T [--timeout MS]    posts WM_CLOSE and waits until the window is gone
//   uidriver msgbox [--timeout MS]             prints the text of a message box
//   uidriver msgbox-click --id N               presses a button of the message box
//   uidriver page --title T [--name N]         waits for page N (if given), prints the page's name
//   uidriver texts --title T                   prints the texts of the page shown, one per line
//   uidriver choose --title T --id N --text S  chooses a combo box item as a user would
//   uidriver desktop                           starts the prefix's desktop and services
// A title starting with "*" matches the end of the window's title.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

#include "UiDriver.h"

namespace {

void PrintUtf8(const std::wstring& text) {
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), length, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
}

int Fail(const char* message) {
  std::fprintf(stderr, "uidriver: %s\n", message);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("missing command");
  const std::wstring command = argv[1];
  std::map<std::wstring, std::wstring> options;
  for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  const DWORD timeout = options.count(L"--timeout") ? std::wcstoul(options[L"--timeout"].c_str(), nullptr, 10) : 15000;
  const int id = options.count(L"--id") ? static_cast<int>(std::wcstol(options[L"--id"].c_str(), nullptr, 0)) : 0;
  const std::wstring title = options[L"--title"];

  if (command == L"desktop") {
    // The first program of a fresh wineserver starts the services and the desktop process;
    // doing it here keeps them from inheriting some later test's output pipes.
    return ::GetDesktopWindow() != nullptr ? 0 : 1;
  }
  if (command == L"msgbox" || command == L"msgbox-click") {
    HWND box = uidriver::WaitFor([] { return uidriver::FindMessageBox(0); }, timeout);
    if (box == nullptr) return Fail("no message box");
    if (command == L"msgbox") {
      PrintUtf8(uidriver::MessageBoxText(box));
    } else {
      uidriver::Click(::GetDlgItem(box, id));
    }
    return 0;
  }

  HWND window = uidriver::WaitFor([&title] { return uidriver::FindDialogByTitle(0, title); }, timeout);
  if (window == nullptr) return Fail("window not found");
  if (command == L"wait") {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  } else if (command == L"text") {
    HWND control = uidriver::FindControl(window, id);
    if (control == nullptr) return Fail("control not found");
    PrintUtf8(uidriver::GetText(control));
  } else if (command == L"click") {
    HWND control = uidriver::FindControl(window, id);
    if (control == nullptr) return Fail("control not found");
    uidriver::Click(control);
  } else if (command == L"post") {
    const UINT message = static_cast<UINT>(std::wcstoul(options[L"--msg"].c_str(), nullptr, 0));
    const WPARAM wParam = std::wcstoul(options[L"--wparam"].c_str(), nullptr, 0);
    ::PostMessageW(window, message, wParam, 0);
  } else if (command == L"send") {
    // For reading a control's state (a progress bar's position); numbers only, no pointers.
    HWND control = uidriver::FindControl(window, id);
    if (control == nullptr) return Fail("control not found");
    const UINT message = static_cast<UINT>(std::wcstoul(options[L"--msg"].c_str(), nullptr, 0));
    const WPARAM wParam = std::wcstoul(options[L"--wparam"].c_str(), nullptr, 0);
    const LPARAM lParam = static_cast<LPARAM>(std::wcstol(options[L"--lparam"].c_str(), nullptr, 0));
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &answer)) {
      return Fail("no answer");
    }
    std::printf("%lld\n", static_cast<long long>(static_cast<LRESULT>(answer)));
  } else if (command == L"page") {
    const std::wstring name = options[L"--name"];
    if (!name.empty() && uidriver::WaitForPage(window, name, timeout) == nullptr) {
      PrintUtf8(uidriver::CurrentPageName(window));
      return Fail("page not shown");
    }
    PrintUtf8(uidriver::CurrentPageName(window));
  } else if (command == L"texts") {
    for (const auto& text : uidriver::VisibleTexts(uidriver::CurrentPage(window))) PrintUtf8(text);
  } else if (command == L"choose") {
    HWND control = uidriver::FindControl(window, id);
    if (control == nullptr || !uidriver::ChooseComboItem(control, options[L"--text"])) return Fail("no such item");
  } else if (command == L"close") {
    uidriver::Close(window);
    const bool gone = uidriver::WaitFor([window] { return ::IsWindow(window) ? nullptr : window; }, timeout);
    if (!gone) return Fail("window still open");
  } else {
    return Fail("unknown command");
  }
  return 0;
}
