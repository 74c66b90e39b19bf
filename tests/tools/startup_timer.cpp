// Measures how long programs take from process creation until their first window is visible,
// or until a page of theirs is, alternating between them so all see the same machine load:
//   startup_timer RUNS PROGRAM[|PAGE]...   prints "round <ms> <ms>..." per round (-1: no window), then
//                                          "<program> <median ms> <min ms> <max ms>" per program
// With PAGE, the time runs until a visible top-level window of the program shows a visible child
// dialog whose window text is PAGE (the wizard names its pages so). The program is then closed
// and a close question answered with OK.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "UiDriver.h"
#include "win32/UniqueResource.h"

namespace {

struct Search {
  DWORD processId;
  std::wstring page;
  HWND found = nullptr;
};

// Reads the text the window manager holds, without a message to the busy program.
std::wstring StoredText(HWND window) {
  wchar_t text[64] = {};
  const int length = ::InternalGetWindowText(window, text, 64);
  return std::wstring(text, static_cast<std::size_t>(std::max(length, 0)));
}

bool ShowsPage(HWND top, const std::wstring& page) {
  for (HWND child = ::GetWindow(top, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    if (std::wstring(className) == L"#32770" && ::IsWindowVisible(child) && StoredText(child) == page) return true;
  }
  return false;
}

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && ::IsWindowVisible(window) &&
      (search->page.empty() || ShowsPage(window, search->page))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Milliseconds until the window (or page) is visible, or -1.
double TimeOneStart(const std::wstring& argument) {
  const std::size_t bar = argument.find(L'|');
  const std::wstring program = argument.substr(0, bar);
  const std::wstring page = bar == std::wstring::npos ? std::wstring() : argument.substr(bar + 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + program + L"\"";
  LARGE_INTEGER frequency{}, begin{}, now{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&begin);
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return -1;
  }
  const win32::UniqueHandle thread(info.hThread), process(info.hProcess);
  double elapsed = -1;
  Search search{info.dwProcessId, page};
  for (int i = 0; i < 6000 && search.found == nullptr; ++i) {
    ::EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) ::Sleep(2);
  }
  ::QueryPerformanceCounter(&now);
  if (search.found != nullptr) {
    elapsed = 1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
    ::PostMessageW(search.found, WM_CLOSE, 0, 0);
    // The wizard asks before it closes; a program that does not ask ends on its own.
    if (!page.empty()) uidriver::AnswerMessageBox(info.dwProcessId, IDOK, 3000);
  }
  if (::WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(info.hProcess, 1);
  return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_timer RUNS PROGRAM...\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  std::vector<std::vector<double>> times(static_cast<std::size_t>(argc - 2));
  for (int run = 0; run < runs; ++run) {
    // Rounds let the caller pair the programs' times: the machine's load drifts between rounds
    // more than within one.
    std::printf("round");
    for (int p = 2; p < argc; ++p) {
      const double ms = TimeOneStart(argv[p]);
      if (ms >= 0) times[static_cast<std::size_t>(p - 2)].push_back(ms);
      std::printf(" %.1f", ms);
    }
    std::printf("\n");
  }
  for (int p = 2; p < argc; ++p) {
    auto& t = times[static_cast<std::size_t>(p - 2)];
    if (t.empty()) {
      std::printf("%ls failed\n", argv[p]);
      continue;
    }
    std::sort(t.begin(), t.end());
    std::printf("%ls %.1f %.1f %.1f\n", argv[p], t[t.size() / 2], t.front(), t.back());
  }
  return 0;
}
