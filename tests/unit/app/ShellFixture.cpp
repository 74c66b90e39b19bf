#include "ShellFixture.h"

#include <thread>

#include "ServiceControl.h"
#include "app/FolderCleanup.h"
#include "config/BuildSettings.h"
#include "download/DownloadManager.h"
#include "offers/Package.h"
#include "pages/test_ids.h"

StubPage::StubPage(const PageContext& context, PageKind kind) : IPage(context, kind, IDD_TEST_PAGE) {}

bool StubPage::OnInitDialog() {
  IPage::OnInitDialog();
  BindText(IDC_TEST_NEXT, "BUTTON_NEXT");
  UpdateTexts();
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_TEST_NEXT, 0);
  return true;
}

bool StubPage::OnCommand(int id, int code, HWND /*control*/) {
  if (id != IDC_TEST_NEXT || code != BN_CLICKED) return false;
  m_buttonCallback(ButtonType::Next);
  return true;
}

namespace {

class TestPageFactory final : public PageFactory {
 public:
  TestPageFactory(std::set<PageKind> stubs, ShellLauncher launcher)
      : m_stubs(std::move(stubs)), m_real(MakeWizardPageFactory(std::move(launcher))) {}

  std::unique_ptr<IPage> Create(PageKind kind, const PageContext& context,
                                const std::shared_ptr<Package>& offer) override {
    if (m_stubs.contains(kind)) return std::make_unique<StubPage>(context, kind);
    return m_real->Create(kind, context, offer);
  }

 private:
  std::set<PageKind> m_stubs;
  std::unique_ptr<PageFactory> m_real;
};

}  // namespace

void ShellFixture::SetUp() {
  ServiceControl::Reset();
  // A fresh store per test: nothing one test sets reaches the next.
  config = std::make_shared<ConfigurationManager>(config::GetBuildSettings());
  Stub({PageKind::Loading});
}

void ShellFixture::TearDown() {
  dialog.reset();
  // An event a test's run sent on its way out must not land in the next test's records.
  Package::WaitForAllEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30));
  if (!config->workFolder.empty()) {
    cleanup::DeleteFolder(config->workFolder);
    ::RemoveDirectoryW(config->workFolder.c_str());
  }
  DownloadManager::GetInstance()->m_cancelled = false;
}

void ShellFixture::Stub(std::initializer_list<PageKind> kinds) { stubs.insert(kinds); }

void ShellFixture::StubAllButFinishPages() {
  stubs.insert({PageKind::Loading, PageKind::Welcome, PageKind::License, PageKind::Warning, PageKind::Product,
                PageKind::Options, PageKind::Configurations, PageKind::DownloadDlm, PageKind::DownloadIsv});
}

void ShellFixture::Start() {
  WizardShellOptions options;
  options.config = config;
  options.pages = std::make_unique<TestPageFactory>(stubs, [this](const ShellCommand& c) {
    launches.push_back(c);
    return LaunchRoute::Direct;
  });
  options.askToClose = [this](HWND, const std::wstring& text) {
    questions.push_back(text);
    if (whileAsking) whileAsking();
    return answer;
  };
  options.shown = [this] { shownCalls.push_back(::IsWindowVisible(dialog->GetHwnd()) != FALSE); };
  dialog = std::make_unique<CBrindleDlg>(std::move(options));
  ASSERT_TRUE(dialog->Create(nullptr));
  Pump();
}

void ShellFixture::Pump() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog && dialog->GetHwnd() != nullptr && ::IsDialogMessageW(dialog->GetHwnd(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool ShellFixture::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    Pump();
    if (done()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void ShellFixture::HandOver(std::vector<std::shared_ptr<Package>> packages) {
  auto& loading = StubAt(1);
  std::thread([&loading, packages = std::move(packages)]() mutable {
    loading.onLoadComplete(LoadResult{std::move(packages), {}});
  }).join();
}

void ShellFixture::CompleteLoading(std::vector<std::shared_ptr<Package>> packages) {
  HandOver(std::move(packages));
  ASSERT_TRUE(PumpUntil([this] { return dialog->Pages().size() > 2; }));
}

StubPage& ShellFixture::StubAt(int index) const {
  return dynamic_cast<StubPage&>(*dialog->Pages().at(static_cast<std::size_t>(index)));
}

std::vector<std::wstring> ShellFixture::PageNames() const {
  std::vector<std::wstring> names;
  for (const auto& page : dialog->Pages()) names.push_back(page->GetPageName());
  return names;
}

int ShellFixture::CloseItems() const {
  HMENU menu = ::GetSystemMenu(Main(), FALSE);
  int count = 0;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    if (::GetMenuItemID(menu, i) == SC_CLOSE) ++count;
  }
  return count;
}
