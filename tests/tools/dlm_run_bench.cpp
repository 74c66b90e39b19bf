// Times a whole download-manager run, driven page by page as a person would, and reads the
// wizard's peak working set before it ends, for bench/run.py (which times curl fetching the
// same files in the same run):
//   dlm_run_bench WIZARD OFFERS BASELINE
//     -> "<seconds from Next on the language page to the finish page> <of which from the last
//         offer's Accept, the downloads> <wizard's peak working set at the language page> <at
//         the finish page> <the baseline program's, once shown>"
// Every one of the OFFERS offer pages is accepted; Finish launches nothing.
#include <windows.h>
// after windows.h, which they need
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "UiDriver.h"
#include "resources/resource.h"
#include "win32/UniqueResource.h"

namespace {

constexpr auto kStepTimeout = std::chrono::seconds(120);

struct Failure {
  std::string what;
};

// A started program; ended by force if it still runs when the object goes.
class Program {
 public:
  explicit Program(const std::wstring& path) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
      throw Failure{"cannot start the program"};
    }
    win32::UniqueHandle thread(info.hThread);
    m_process.reset(info.hProcess);
    m_id = info.dwProcessId;
  }
  ~Program() {
    if (::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(m_process.get(), 99);
      ::WaitForSingleObject(m_process.get(), 10000);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD Id() const { return m_id; }
  bool WaitForExit(DWORD timeoutMs) const { return ::WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0; }
  // The largest working set the process has had so far; 0 when the system does not tell.
  unsigned long long PeakWorkingSet() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(m_process.get(), &counters, sizeof(counters))) return 0;
    return counters.PeakWorkingSetSize;
  }

 private:
  win32::UniqueHandle m_process;
  DWORD m_id = 0;
};

// Polls quickly, since page changes are what is timed; names are read without a message to
// the wizard, so polling does not load its UI thread.
template <typename Find>
HWND Poll(Find find, const char* what) {
  const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
  for (;;) {
    if (HWND found = find()) return found;
    if (std::chrono::steady_clock::now() >= deadline) throw Failure{std::string("timed out waiting for ") + what};
    ::Sleep(5);
  }
}

std::wstring StoredText(HWND window) {
  wchar_t text[64] = {};
  const int length = ::InternalGetWindowText(window, text, 64);
  return std::wstring(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

HWND MainWindow(const Program& wizard) {
  return Poll(
      [&] {
        for (HWND window : uidriver::TopLevelDialogs(wizard.Id())) {
          if (::IsWindowVisible(window) && ::GetDlgItem(window, IDC_PAGE_AREA) != nullptr) return window;
        }
        return HWND{nullptr};
      },
      "the wizard's window");
}

// The named page once it shows, other than `previous` (offer pages share a name).
HWND WaitForPage(HWND wizard, const std::wstring& name, const char* what, HWND previous = nullptr) {
  return Poll(
      [&] {
        HWND page = uidriver::CurrentPage(wizard);
        return page != nullptr && page != previous && StoredText(page) == name ? page : nullptr;
      },
      what);
}

// Sent, not posted: the wizard has acted on the click when this returns.
void Click(HWND page, int id) {
  HWND button = uidriver::FindControl(page, id);
  if (button == nullptr) throw Failure{"a button is missing"};
  ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, nullptr);
}

void Run(const std::wstring& wizardPath, int offers, const std::wstring& baselinePath) {
  Program wizard(wizardPath);
  HWND main = MainWindow(wizard);
  HWND page = WaitForPage(main, L"LanguagePage", "the language page");
  const unsigned long long atLanguagePage = wizard.PeakWorkingSet();

  const auto started = std::chrono::steady_clock::now();
  Click(page, IDC_NEXT);
  page = WaitForPage(main, L"WelcomePage", "the welcome page");
  Click(page, IDC_NEXT);
  for (int offer = 0; offer < offers; ++offer) {
    page = WaitForPage(main, L"ProductPage", "an offer page", page);
    Click(page, IDC_ACCEPT);
  }
  const auto downloading = std::chrono::steady_clock::now();
  page = WaitForPage(main, L"FinishPageDLM", "the finish page");
  const auto finished = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(finished - started).count();
  const double downloadSeconds = std::chrono::duration<double>(finished - downloading).count();
  const unsigned long long atFinishPage = wizard.PeakWorkingSet();

  ::SendMessageW(uidriver::FindControl(page, IDC_LAUNCH_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
  Click(page, IDC_FINISH);
  if (!wizard.WaitForExit(60000)) throw Failure{"the wizard did not end after Finish"};

  Program baseline(baselinePath);
  HWND shown = Poll(
      [&] {
        for (HWND window : uidriver::TopLevelDialogs(baseline.Id())) {
          if (::IsWindowVisible(window)) return window;
        }
        return HWND{nullptr};
      },
      "the baseline's window");
  ::Sleep(300);  // painted and settled
  const unsigned long long baselinePeak = baseline.PeakWorkingSet();
  ::PostMessageW(shown, WM_CLOSE, 0, 0);
  baseline.WaitForExit(10000);

  std::printf("%.3f %.3f %llu %llu %llu\n", seconds, downloadSeconds, atLanguagePage, atFinishPage, baselinePeak);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: dlm_run_bench WIZARD OFFERS BASELINE\n");
    return 2;
  }
  try {
    Run(argv[1], _wtoi(argv[2]), argv[3]);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "dlm_run_bench: %s\n", failure.what.c_str());
    return 1;
  }
  return 0;
}
