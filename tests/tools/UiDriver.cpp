#include "UiDriver.h"

namespace uidriver {
namespace {

struct EnumState {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<EnumState*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (state->processId != 0 && owner != state->processId) return TRUE;
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  if (std::wstring(className) == L"#32770") state->found.push_back(window);
  return TRUE;
}

struct ControlSearch {
  int id;
  HWND visible = nullptr;
  HWND any = nullptr;
};

BOOL CALLBACK FindChild(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ControlSearch*>(param);
  if (::GetDlgCtrlID(window) != search->id) return TRUE;
  if (search->any == nullptr) search->any = window;
  if (search->visible == nullptr && ::IsWindowVisible(window)) search->visible = window;
  return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelDialogs(DWORD processId) {
  EnumState state{processId, {}};
  ::EnumWindows(&CollectDialogs, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = find()) return window;
    if (::GetTickCount64() >= deadline) return nullptr;
    ::Sleep(50);
  }
}

std::wstring GetText(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                             &copied)) {
    return {};
  }
  return std::wstring(buffer, copied);
}

HWND FindDialogByTitle(DWORD processId, const std::wstring& title) {
  const bool suffix = !title.empty() && title[0] == L'*';
  const std::wstring wanted = suffix ? title.substr(1) : title;
  for (HWND window : TopLevelDialogs(processId)) {
    if (!::IsWindowVisible(window)) continue;
    const std::wstring text = GetText(window);
    if (suffix ? text.size() >= wanted.size() && text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0
               : text == wanted) {
      return window;
    }
  }
  return nullptr;
}

HWND FindMessageBox(DWORD processId) {
  for (HWND window : TopLevelDialogs(processId)) {
    if (::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF) != nullptr) return window;
  }
  return nullptr;
}

std::wstring MessageBoxText(HWND box) { return GetText(::GetDlgItem(box, 0xFFFF)); }

HWND FindControl(HWND top, int id) {
  ControlSearch search{id};
  ::EnumChildWindows(top, &FindChild, reinterpret_cast<LPARAM>(&search));
  return search.visible != nullptr ? search.visible : search.any;
}

bool IsVisible(HWND window) { return window != nullptr && ::IsWindowVisible(window); }

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void Close(HWND window) { ::PostMessageW(window, WM_CLOSE, 0, 0); }

HWND CurrentPage(HWND wizard) {
  for (HWND child = ::GetWindow(wizard, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    if (std::wstring(className) == L"#32770" && ::IsWindowVisible(child)) return child;
  }
  return nullptr;
}

std::wstring CurrentPageName(HWND wizard) {
  HWND page = CurrentPage(wizard);
  return page != nullptr ? GetText(page) : std::wstring();
}

HWND WaitForPage(HWND wizard, const std::wstring& name, DWORD timeoutMs) {
  return WaitFor(
      [&] {
        HWND page = CurrentPage(wizard);
        return page != nullptr && GetText(page) == name ? page : nullptr;
      },
      timeoutMs);
}

std::vector<std::wstring> VisibleTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!::IsWindowVisible(child)) continue;
    wchar_t className[32] = {};
    ::GetClassNameW(child, className, 32);
    std::wstring text;
    if (::lstrcmpiW(className, L"ComboBox") == 0) {
      const LRESULT selected = ::SendMessageW(child, CB_GETCURSEL, 0, 0);
      wchar_t item[256] = {};
      if (selected != CB_ERR && ::SendMessageW(child, CB_GETLBTEXTLEN, selected, 0) < 256) {
        ::SendMessageW(child, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(item));
      }
      text = item;
    } else {
      text = GetText(child);
    }
    if (!text.empty()) texts.push_back(text);
  }
  return texts;
}

bool ChooseComboItem(HWND combo, const std::wstring& text) {
  const LRESULT index =
      ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
  if (index == CB_ERR) return false;
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  return true;
}

std::wstring AnswerMessageBox(DWORD processId, int buttonId, DWORD timeoutMs) {
  HWND box = WaitFor([processId] { return FindMessageBox(processId); }, timeoutMs);
  if (box == nullptr) return {};
  const std::wstring text = MessageBoxText(box);
  Click(::GetDlgItem(box, buttonId));
  return text;
}

void Transcript::AddPage(HWND wizard) {
  HWND page = CurrentPage(wizard);
  if (page == nullptr) return;
  std::wstring line = L"page " + GetText(page) + L":";
  for (const auto& text : VisibleTexts(page)) line += L" [" + text + L"]";
  Add(line);
}

std::wstring Transcript::Text() const {
  std::wstring text;
  for (const auto& line : m_lines) text += line + L"\n";
  return text;
}

}  // namespace uidriver
