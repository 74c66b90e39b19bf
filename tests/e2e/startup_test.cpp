// Start-up of the real wizard executables, driven from outside as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "UiDriver.h"
#include "WizardProcess.h"
#include "resources/resource.h"
#include "win32/UniqueResource.h"

namespace {

// Slow machines (or Wine under an emulator) may stretch it, as they do the harness's limits.
const DWORD kTimeout = static_cast<DWORD>(30000 * TimeoutScale());

HWND WaitForDialog(const WizardProcess& wizard, const std::wstring& title) {
  return uidriver::WaitFor([&] { return uidriver::FindDialogByTitle(wizard.Id(), title); }, kTimeout);
}

// Messages are handled in order, so once the About box opened, everything posted before it
// was handled too.
HWND OpenAbout(const WizardProcess& wizard, HWND main) {
  ::PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  return WaitForDialog(wizard, L"About Brindle");
}

// Closing on the language page asks first; the question is answered with OK.
std::size_t WorkFolderCount() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  WIN32_FIND_DATAW data{};
  win32::UniqueFind find(::FindFirstFileW((std::wstring(temp) + L"ISV*.tmp").c_str(), &data));
  if (!find) return 0;
  std::size_t count = 0;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ++count;
  } while (::FindNextFileW(find.get(), &data));
  return count;
}

void CloseAndExpectExit(const WizardProcess& wizard, HWND main, DWORD expectedCode) {
  uidriver::Close(main);
  EXPECT_EQ(uidriver::AnswerMessageBox(wizard.Id(), IDOK, kTimeout), L"Are you sure you want to exit the installer?");
  DWORD code = 0;
  ASSERT_TRUE(wizard.WaitForExit(kTimeout, code));
  EXPECT_EQ(code, expectedCode);
}

TEST(Startup, DownloadManagerWindow) {
  WizardProcess wizard(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  ASSERT_TRUE(wizard.Started());
  HWND main = WaitForDialog(wizard, L"Setup");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(uidriver::IsVisible(uidriver::FindControl(main, IDC_PRODUCT_ICON)));
  EXPECT_TRUE(uidriver::IsVisible(uidriver::FindControl(main, IDC_HEADER_LINE)));
  EXPECT_FALSE(uidriver::IsVisible(uidriver::FindControl(main, IDC_TITLE)));
  EXPECT_TRUE(uidriver::IsVisible(uidriver::FindControl(main, IDC_BOTTOM_BAR)));
  CloseAndExpectExit(wizard, main, IDCANCEL);
}

TEST(Startup, EnterAndEscapeNeverCloseTheWizard) {
  WizardProcess wizard(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  HWND main = WaitForDialog(wizard, L"Setup");
  ASSERT_NE(main, nullptr);
  ::PostMessageW(main, WM_KEYDOWN, VK_RETURN, 0);
  ::PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
  ::PostMessageW(main, WM_COMMAND, IDOK, 0);
  ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
  HWND about = OpenAbout(wizard, main);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(wizard.IsRunning());
  EXPECT_TRUE(::IsWindowVisible(main));
  uidriver::Click(::GetDlgItem(about, IDOK));
  CloseAndExpectExit(wizard, main, IDCANCEL);
}

TEST(Startup, AboutBoxShowsTheFileVersion) {
  WizardProcess wizard(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  HWND main = WaitForDialog(wizard, L"Setup");
  ASSERT_NE(main, nullptr);
  HWND about = OpenAbout(wizard, main);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(uidriver::GetText(::GetDlgItem(about, IDC_ABOUT_VERSION)), L"Brindle, Version 3.2.2.12299");
  uidriver::Click(::GetDlgItem(about, IDOK));
  ASSERT_NE(uidriver::WaitFor([&] { return ::IsWindow(about) ? nullptr : main; }, kTimeout), nullptr);
  CloseAndExpectExit(wizard, main, IDCANCEL);
}

TEST(Startup, SecondCopyIsRefusedAndFirstKeepsRunning) {
  WizardProcess first(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  HWND main = WaitForDialog(first, L"Setup");
  ASSERT_NE(main, nullptr);

  const std::size_t folders = WorkFolderCount();
  WizardProcess second(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  HWND box = uidriver::WaitFor([&] { return uidriver::FindMessageBox(second.Id()); }, kTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(uidriver::MessageBoxText(box), L"Another setup is already running, please close it and try again");
  EXPECT_EQ(uidriver::GetText(box), L"Error");
  uidriver::Click(::GetDlgItem(box, IDOK));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(kTimeout, code));
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(WorkFolderCount(), folders);  // the refused copy took its work folder away again

  EXPECT_TRUE(first.IsRunning());
  EXPECT_TRUE(::IsWindowVisible(main));
  CloseAndExpectExit(first, main, IDCANCEL);
}

TEST(Startup, TheTestErrorCommandFromOutsideShowsTheErrorPage) {
  WizardProcess wizard(WindowsPathFromEnv("BRINDLE_WIZARD_DLM"));
  HWND main = WaitForDialog(wizard, L"Setup");
  ASSERT_NE(main, nullptr);
  ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_SHOW_TEST_ERROR, BN_CLICKED), 0);
  HWND page = uidriver::WaitForPage(main, L"ErrorPage", kTimeout);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(uidriver::VisibleTexts(page), (std::vector<std::wstring>{L"Error", L"Error message", L"Close"}));
  uidriver::Click(uidriver::FindControl(main, IDC_ERROR_CLOSE));
  DWORD code = 0;
  ASSERT_TRUE(wizard.WaitForExit(kTimeout, code));
  EXPECT_EQ(code, 1u);
}

TEST(Startup, InstallerWindowHasProductTitleAndNoHeader) {
  WizardProcess wizard(WindowsPathFromEnv("BRINDLE_WIZARD_ISV"));
  HWND main = WaitForDialog(wizard, L"Tavrel ");
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(uidriver::IsVisible(uidriver::FindControl(main, IDC_PRODUCT_ICON)));
  EXPECT_FALSE(uidriver::IsVisible(uidriver::FindControl(main, IDC_HEADER_LINE)));
  CloseAndExpectExit(wizard, main, IDCANCEL);
}

// Wine accepts a wrong manifest silently, so the resource itself is checked.
TEST(Startup, ManifestAsksForAdminRightsAndThemedControls) {
  const std::wstring path = WindowsPathFromEnv("BRINDLE_WIZARD_DLM");
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(resource, nullptr);
  const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, resource)));
  const std::string manifest(data, ::SizeofResource(module, resource));
  ::FreeLibrary(module);

  for (const char* expected : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
                               ">true</dpiAware>", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                               "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                               "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(expected), std::string::npos) << expected;
  }
  const char* arch = std::getenv("BRINDLE_ARCH");
  if (arch != nullptr && std::string(arch) == "i686") {
    EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos);
  }
}

// DLLs with system names planted beside the stub (as in a Downloads folder) must never load.
// (version.dll is not among them: Wine's own comctl32 imports it at process start, which no
// order of our calls can influence.)
TEST(Startup, PlantedDllsBesideTheStubAreNeverLoaded) {
  const std::wstring folder = MakeScratchFolder(L"plant");
  const std::wstring stub = folder + L"\\plantsetup.exe";
  const std::wstring control = folder + L"\\plantcontrol.exe";
  const std::wstring marker = folder + L"\\marker.txt";
  const wchar_t* const kNames[] = {L"gdiplus", L"winhttp", L"wininet", L"bcrypt"};
  std::vector<std::wstring> files = {stub, control, marker};
  ASSERT_TRUE(::CopyFileW(WindowsPathFromEnv("BRINDLE_WIZARD_DLM").c_str(), stub.c_str(), FALSE));
  ASSERT_TRUE(::CopyFileW(WindowsPathFromEnv("BRINDLE_STATIC_IMPORTER").c_str(), control.c_str(), FALSE));
  for (const wchar_t* name : kNames) {
    files.push_back(folder + L"\\" + name + L".dll");
    ASSERT_TRUE(::CopyFileW(WindowsPathFromEnv("BRINDLE_PLANTED_DLL").c_str(), files.back().c_str(), FALSE));
  }
  ::SetEnvironmentVariableW(L"BRINDLE_PLANT_MARKER", marker.c_str());

  // Wine prefers its own DLLs; make it take one from the program's folder first, as Windows
  // does for a DLL that is not a KnownDLL.
  for (const wchar_t* exe : {L"plantsetup.exe", L"plantcontrol.exe"}) {
    win32::UniqueHkey key;
    const std::wstring path = std::wstring(L"Software\\Wine\\AppDefaults\\") + exe + L"\\DllOverrides";
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    const wchar_t order[] = L"native,builtin";
    for (const wchar_t* name : kNames) {
      ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
    }
  }

  // Control: a program that imports gdiplus.dll directly does load the planted copy.
  {
    WizardProcess importer(control);  // fails to start once the import is taken from the plant
    ASSERT_TRUE(importer.Started());
    const bool announced = uidriver::WaitFor(
        [&] {
          return ::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES ? reinterpret_cast<HWND>(1) : nullptr;
        },
        kTimeout);
    ASSERT_TRUE(announced) << "the planted DLL is not picked up at all; the test proves nothing";
  }
  ASSERT_TRUE(::DeleteFileW(marker.c_str()));

  {
    WizardProcess wizard(stub);
    ASSERT_TRUE(wizard.Started());
    HWND main = WaitForDialog(wizard, L"Setup");
    EXPECT_NE(main, nullptr) << "the stub did not start";
    if (main != nullptr) CloseAndExpectExit(wizard, main, IDCANCEL);
  }
  EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "a planted DLL was loaded";
  ::SetEnvironmentVariableW(L"BRINDLE_PLANT_MARKER", nullptr);
  for (const std::wstring& file : files) ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
