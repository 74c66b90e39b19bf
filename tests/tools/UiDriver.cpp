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
  for (HWND window : TopLevelDialogs(processId)) {
    if (::IsWindowVisible(window) && GetText(window) == title) return window;
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

}  // namespace uidriver
