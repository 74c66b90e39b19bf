#include "EligibilityTestSupport.h"

#include "config/ConfigurationManager.h"

#include <fstream>

#include "config/TextUtil.h"

using nlohmann::json;

std::shared_ptr<Package> MakeOffer(const json& ps, const std::string& id, int index) {
  json offer = {{"ad", {{"o", id}, {"f", "token"}}}, {"ps", {{"i", "i.png"}, {"dn", "Name"}, {"u", "u"}}}};
  for (const auto& [key, value] : ps.items()) offer["ps"][key] = value;
  return Package::Offer(*ConfigurationManager::GetInstance(), offer, index);
}

namespace {

// The process-wide store with the given limit: the tests that change its extra offer slots share it.
ConfigurationManager& WithMaxOffers(int maxOffers) {
  ConfigurationManager& config = *ConfigurationManager::GetInstance();
  config.maxOffers = maxOffers;
  return config;
}

}  // namespace

RulesUnderTest::RulesUnderTest(int maxOffers, std::shared_ptr<TestFacts> testFacts)
    : facts(std::move(testFacts)), rules(WithMaxOffers(maxOffers), facts) {
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
    win32::UniqueHkey key;
    if (::RegOpenKeyExW(root, partial.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS) continue;
    ASSERT_EQ(
        ::RegCreateKeyExW(root, partial.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    m_undo.push_back([root, view, partial] { ::RegDeleteKeyExW(root, partial.c_str(), view, 0); });
  }
}

void RegistryScratch::Value(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type,
                            const void* data, DWORD size) {
  if (data != nullptr) Key(root, view, path);
  win32::UniqueHkey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_SET_VALUE | view, key.put()) != ERROR_SUCCESS) return;
  DWORD oldType = 0;
  DWORD oldSize = 0;
  const bool existed = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &oldType, nullptr, &oldSize) == 0;
  std::vector<BYTE> old(oldSize);
  if (existed) ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &oldType, old.data(), &oldSize);
  m_undo.push_back([=] {
    win32::UniqueHkey restore;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, restore.put()) != ERROR_SUCCESS) return;
    if (existed) ::RegSetValueExW(restore.get(), name.c_str(), 0, oldType, old.data(), oldSize);
    if (!existed) ::RegDeleteValueW(restore.get(), name.c_str());
  });
  if (data == nullptr) {
    ::RegDeleteValueW(key.get(), name.c_str());
  } else {
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), 0);
  }
}

std::wstring ScratchKey() { return L"Software\\BrindleTest\\Elig" + std::to_wstring(::GetCurrentProcessId()); }

std::wstring ScratchRulePath() { return L"brindletest\\elig" + std::to_wstring(::GetCurrentProcessId()); }

TemporaryFile::TemporaryFile(const std::filesystem::path& path)
    : m_path(path.is_absolute() ? path : std::filesystem::temp_directory_path() / path) {
  for (auto folder = m_path.parent_path(); !std::filesystem::exists(folder); folder = folder.parent_path()) {
    m_folders.push_back(folder);
  }
  std::filesystem::create_directories(m_path.parent_path());
  std::ofstream(m_path).put('x');
}

TemporaryFile::~TemporaryFile() {
  std::error_code ignored;
  std::filesystem::remove(m_path, ignored);
  for (const auto& folder : m_folders) std::filesystem::remove(folder, ignored);
}

namespace {

std::filesystem::path Sleeper() {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).replace_filename(L"sleeper.exe");
}

}  // namespace

RunningProgram::RunningProgram(const std::wstring& fileName) : m_copy(L"brindle-elig-programs\\" + fileName) {
  EXPECT_TRUE(::CopyFileW(Sleeper().c_str(), m_copy.Path().c_str(), FALSE));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  EXPECT_TRUE(::CreateProcessW(m_copy.Path().c_str(), nullptr, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                               nullptr, &startup, &started));
  m_process.reset(started.hProcess);
  win32::UniqueHandle thread(started.hThread);
}

RunningProgram::~RunningProgram() {
  if (!m_process) return;
  ::TerminateProcess(m_process.get(), 0);
  ::WaitForSingleObject(m_process.get(), 10000);
}
