// The wizard behind the user's proxy: Debian's tinyproxy on loopback (started by the harness)
// set in the prefix the way Internet Options stores it, for WinINet (ProxyEnable, ProxyServer)
// and for WinHTTP's reading of the user's settings (Connections\DefaultConnectionSettings).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ServiceControl.h"
#include "UiDriver.h"
#include "WizardSession.h"
#include "download/DownloadManager.h"
#include "resources/resource.h"
#include "win32/UniqueResource.h"

using nlohmann::json;

namespace {

constexpr int kOpenProxy = 8888;
constexpr int kAuthProxy = 8889;  // answers 407 without credentials
constexpr wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// The user's proxy set by hand for the life of the object; what was there before comes back.
class UserProxy {
 public:
  explicit UserProxy(int port) {
    const std::string server = "127.0.0.1:" + std::to_string(port);
    const DWORD enable = 1;
    Set(kSettings, L"ProxyEnable", REG_DWORD, &enable, sizeof(enable));
    const std::wstring wide(server.begin(), server.end());
    Set(kSettings, L"ProxyServer", REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    Set(kSettings, L"ProxyOverride", REG_SZ, L"", sizeof(wchar_t));
    // Magic 0x46, a counter, flags (direct | named proxy; no automatic detection, no script),
    // then the proxy, the bypass list and the script address, each a length and ANSI text.
    std::vector<BYTE> blob;
    auto put = [&blob](DWORD value) {
      blob.insert(blob.end(), reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4);
    };
    put(0x46);
    put(1);
    put(0x3);
    put(static_cast<DWORD>(server.size()));
    blob.insert(blob.end(), server.begin(), server.end());
    put(0);
    put(0);
    Set(kConnections, L"DefaultConnectionSettings", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
  }
  ~UserProxy() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
      win32::UniqueResource<win32::HkeyTraits> key;
      if (::RegOpenKeyExW(HKEY_CURRENT_USER, it->key, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
        continue;
      }
      if (it->present) {
        ::RegSetValueExW(key.get(), it->name, 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
      } else {
        ::RegDeleteValueW(key.get(), it->name);
      }
    }
  }
  UserProxy(const UserProxy&) = delete;
  UserProxy& operator=(const UserProxy&) = delete;

 private:
  struct Saved {
    const wchar_t* key;
    const wchar_t* name;
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };

  void Set(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    win32::UniqueResource<win32::HkeyTraits> key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    Saved saved{path, name, false, 0, {}};
    DWORD length = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &saved.type, nullptr, &length) == ERROR_SUCCESS) {
      saved.data.resize(length);
      saved.present =
          ::RegQueryValueExW(key.get(), name, nullptr, &saved.type, saved.data.data(), &length) == ERROR_SUCCESS;
    }
    m_saved.push_back(std::move(saved));
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }

  std::vector<Saved> m_saved;
};

// The proxy's log: "CONNECT host:port" requests it received after the object was made.
class ProxyLog {
 public:
  explicit ProxyLog(int port)
      : m_path(WindowsPathFromEnv("BRINDLE_HARNESS_DIR") + L"\\proxy\\" + std::to_wstring(port) + L".log"),
        m_start(Read().size()) {}
  std::vector<std::string> Connects() const {
    std::vector<std::string> targets;
    std::istringstream lines(Read().substr(m_start));
    const std::string marker = "): CONNECT ";
    for (std::string line; std::getline(lines, line);) {
      const auto at = line.find(marker);
      if (at != std::string::npos)
        targets.push_back(line.substr(at + marker.size(), line.find(' ', at + marker.size()) - at - marker.size()));
    }
    return targets;
  }

 private:
  std::string Read() const {
    std::ifstream file(std::filesystem::path(m_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  std::wstring m_path;
  std::size_t m_start;
};

json Document() {
  return {{"l", "US"},
          {"i",
           {{"ct", "Tavrel"},
            {"cu", std::string("https://localhost/f/") + kInstaller},
            {"cl", "https://localhost/f/logo.png"},
            {"cf", "TavrelSetup.exe"},
            {"cp", "https://localhost/privacy"},
            {"ctu", "https://localhost/terms"}}},
          {"f", {{"a", "pub-1"}, {"m", 3}}},
          {"o", {TestOffer("a", 1, "a/setup.exe", "/id=a")}}};
}

TEST(Proxy, AWholeDownloadManagerRunGoesThroughTheUsersProxy) {
  ServiceControl::Reset();
  ServiceControl::SetScenario("/o", json::array({{{"body", Document().dump()}}}));
  ServiceControl::SetScenario("/f/a/setup.exe", json::array({{{"body_file", kInstaller}}}));
  const std::wstring product = DownloadsFolder() + L"\\TavrelSetup.exe";
  ::DeleteFileW(product.c_str());
  const ProxyLog log(kOpenProxy);
  {
    const UserProxy proxy(kOpenProxy);
    WizardSession run(kDlm);
    ASSERT_TRUE(run.ShowsPage(L"LanguagePage"));
    run.Click(IDC_NEXT);
    ASSERT_TRUE(run.ShowsPage(L"WelcomePage"));
    run.Click(IDC_NEXT);
    ASSERT_TRUE(run.ShowsPage(L"ProductPage"));
    run.Click(IDC_ACCEPT);
    ASSERT_TRUE(run.ShowsPage(L"FinishPageDLM"));
    run.Click(IDC_FINISH);
    EXPECT_EQ(run.ExitCode(), 1);
    ASSERT_TRUE(
        uidriver::WaitFor([&] { return run.InstallerRecords().size() == 2 ? run.Main() : nullptr; }, WizardTimeout()));
  }
  EXPECT_TRUE(FileExists(product));
  ::DeleteFileW(product.c_str());
  const std::map<std::string, std::vector<std::string>> events = {{"", {"1"}}, {"Tavrel", {"3"}}, {"a", {"3"}}};
  EXPECT_EQ(EventsByPackage(ServiceControl::Events()), events);

  // Every connection the service saw was a tunnel the proxy opened: configuration, events,
  // logo, offer picture, offer and product. (Wine's WinHTTP keeps idle connections for reuse
  // across sessions, so a tunnel may carry more than one request.)
  const json requests = ServiceControl::Requests();
  std::vector<std::string> paths;
  std::set<std::string> connections;
  for (const json& request : requests) {
    paths.push_back(request.at("path").get<std::string>());
    connections.insert(request.at("client").get<std::string>() + " " +
                       std::to_string(request.at("client_port").get<int>()));
  }
  const std::vector<std::string> connects = log.Connects();
  EXPECT_EQ(connects.size(), connections.size()) << json(paths).dump();
  for (const std::string& target : connects) EXPECT_EQ(target, "localhost:443");
  for (const char* path : {"/o", "/zbd", "/f/logo.png", "/f/a/setup.exe"}) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end()) << path;
  }
}

// A proxy that wants credentials the wizard does not have: each transport asks once and fails
// with its usual text; nothing reaches the service and nothing is retried.
TEST(Proxy, AProxyAskingForCredentialsFailsTheDownloadAtOnce) {
  ServiceControl::Reset();
  const std::wstring folder = MakeScratchFolder(L"brindle-proxy-407");
  const ProxyLog log(kAuthProxy);
  const UserProxy proxy(kAuthProxy);
  const auto manager = std::make_shared<DownloadManager>();
  manager->SetFolders(L"", folder);
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result =
      manager->DownloadFile(L"https://localhost/f/install/test_installer.exe", nullptr, L"", false);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_FALSE(result.success);
  EXPECT_TRUE(result.error.starts_with(L"[WINHTTP] ")) << result.error;
  EXPECT_NE(result.error.find(L" [WININET] "), std::wstring::npos) << result.error;
  EXPECT_EQ(log.Connects().size(), 2u);
  EXPECT_TRUE(ServiceControl::Requests().empty());
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
