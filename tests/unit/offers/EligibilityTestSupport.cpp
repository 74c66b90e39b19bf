#include "EligibilityTestSupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>

#include "config/TextUtil.h"

using nlohmann::json;

std::shared_ptr<Package> MakeOffer(const json& ps, const std::string& id, int index) {
  json offer = {{"ad", {{"o", id}, {"f", "token"}}},
                {"ps", {{"i", "i.png"}, {"dn", "Name"}, {"u", "https://x.example/setup.exe"}}}};
  for (const auto& [key, value] : ps.items()) offer["ps"][key] = value;
  return std::make_shared<Package>(SignedRequest(), offer, false, "", index);
}

RulesUnderTest::RulesUnderTest(int maxOffers, std::shared_ptr<TestFacts> testFacts)
    : facts(std::move(testFacts)), rules(maxOffers, facts) {
  rules.SetEventSink([this](Package&, int id, const json& extra) {
    EXPECT_EQ(id, EVENT_NOT_SHOWN);
    reasons.push_back(extra.at("13").get<std::string>());
  });
}

std::string RulesUnderTest::Verdict(const std::shared_ptr<Package>& package) {
  const std::size_t before = reasons.size();
  bool stop = false;
  if (rules.Evaluate(package, stop, accepted)) {
    accepted.push_back(package);
    return "accepted";
  }
  if (stop) return "stop";
  return reasons.size() > before ? reasons.back() : "no event";
}

std::string RulesUnderTest::Verdict(const json& ps, const std::string& id) {
  return Verdict(MakeOffer(ps, id, static_cast<int>(accepted.size())));
}

RegistryScratch::~RegistryScratch() {
  for (auto undo = m_undo.rbegin(); undo != m_undo.rend(); ++undo) (*undo)();
}

void RegistryScratch::Key(HKEY root, REGSAM view, const std::wstring& path) {
  std::wstring partial;
  for (const std::wstring& part : config::SplitText(path, L"\\")) {
    partial += (partial.empty() ? L"" : L"\\") + part;
    ui::UniqueHkey key;
    if (::RegOpenKeyExW(root, partial.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS) continue;
    ASSERT_EQ(
        ::RegCreateKeyExW(root, partial.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr),
        ERROR_SUCCESS)
        << partial;
    m_undo.push_back([root, view, partial] { ::RegDeleteKeyExW(root, partial.c_str(), view, 0); });
  }
}

void RegistryScratch::SaveValue(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name) {
  ui::UniqueHkey key;
  DWORD type = 0;
  DWORD size = 0;
  const bool existed = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS &&
                       ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  std::vector<BYTE> data(size);
  if (existed) ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
  m_undo.push_back([=] {
    ui::UniqueHkey restore;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, restore.put()) != ERROR_SUCCESS) return;
    if (existed) {
      ::RegSetValueExW(restore.get(), name.c_str(), 0, type, data.data(), size);
    } else {
      ::RegDeleteValueW(restore.get(), name.c_str());
    }
  });
}

void RegistryScratch::Value(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type,
                            const void* data, DWORD size) {
  Key(root, view, path);
  SaveValue(root, view, path, name);
  ui::UniqueHkey key;
  ASSERT_EQ(::RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, key.put()), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void RegistryScratch::String(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name,
                             const std::wstring& text) {
  Value(root, view, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void RegistryScratch::Dword(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD value) {
  Value(root, view, path, name, REG_DWORD, &value, sizeof(value));
}

void RegistryScratch::Absent(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name) {
  SaveValue(root, view, path, name);
  ui::UniqueHkey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), name.c_str());
  }
}

std::wstring ScratchKey() { return L"Software\\BrindleTest\\Elig" + std::to_wstring(::GetCurrentProcessId()); }

std::wstring ScratchRulePath() { return L"brindletest\\elig" + std::to_wstring(::GetCurrentProcessId()); }

namespace {

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, buffer);
  return buffer;
}

}  // namespace

RunningProgram::RunningProgram(const std::wstring& fileName) : m_path(TempFolder() + fileName) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring sleeper = std::filesystem::path(self).replace_filename(L"sleeper.exe").wstring();
  EXPECT_TRUE(::CopyFileW(sleeper.c_str(), m_path.c_str(), FALSE)) << ::GetLastError();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  std::wstring command = L"\"" + m_path + L"\"";
  EXPECT_TRUE(::CreateProcessW(m_path.c_str(), command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                               nullptr, &startup, &started));
  m_process.reset(started.hProcess);
  ui::UniqueHandle thread(started.hThread);
}

RunningProgram::~RunningProgram() {
  if (m_process) {
    ::TerminateProcess(m_process.get(), 0);
    ::WaitForSingleObject(m_process.get(), 10000);
  }
  m_process.reset();
  ::DeleteFileW(m_path.c_str());
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  m_path =
      TempFolder() + L"brindle-elig-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  std::filesystem::create_directories(m_path);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::wstring ScratchFolder::File(const std::wstring& relative) const {
  const std::filesystem::path path = std::filesystem::path(m_path) / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path).put('x');
  return path.wstring();
}
