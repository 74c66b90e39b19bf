#include "pages/ShellLauncher.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include "win32/UniqueResource.h"

namespace {

// A BSTR variant owned for one call.
class BstrVariant {
 public:
  explicit BstrVariant(const std::wstring& text) {
    ::VariantInit(&m_value);
    m_value.vt = VT_BSTR;
    m_value.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  ~BstrVariant() { ::VariantClear(&m_value); }
  BstrVariant(const BstrVariant&) = delete;
  BstrVariant& operator=(const BstrVariant&) = delete;
  VARIANT& Get() { return m_value; }
  bool Valid() const { return m_value.bstrVal != nullptr; }

 private:
  VARIANT m_value;
};

// The shell's own ShellExecute, reached through the desktop window's view: the program runs in
// the shell's process, with the rights the user logged on with. False when there is no such
// shell (no Explorer desktop, as under Wine) or it refuses.
bool ExecuteThroughDesktopShell(const ShellCommand& command) {
  win32::ComPtr<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.put())))) {
    return false;
  }
  VARIANT desktop{};
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT none{};
  long window = 0;
  win32::ComPtr<IDispatch> found;
  if (windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.put()) != S_OK || !found) {
    return false;
  }
  win32::ComPtr<IServiceProvider> services;
  win32::ComPtr<IShellBrowser> browser;
  win32::ComPtr<IShellView> view;
  win32::ComPtr<IDispatch> background;
  win32::ComPtr<IShellFolderViewDual> folderView;
  win32::ComPtr<IDispatch> application;
  win32::ComPtr<IShellDispatch2> shell;
  if (FAILED(found->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.put()))) ||
      FAILED(
          services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(browser.put()))) ||
      FAILED(browser->QueryActiveShellView(view.put())) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.put()))) ||
      FAILED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folderView.put()))) ||
      FAILED(folderView->get_Application(application.put())) ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.put())))) {
    return false;
  }
  BstrVariant file(command.file);
  BstrVariant parameters(command.parameters);
  BstrVariant directory(command.directory);
  BstrVariant verb(command.verb);
  if (!file.Valid()) return false;
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell->ShellExecute(file.Get().bstrVal, parameters.Get(), directory.Get(), verb.Get(), show));
}

}  // namespace

LaunchRoute ShellExecuteLauncher(const ShellCommand& command) {
  if (command.withoutElevation && ExecuteThroughDesktopShell(command)) return LaunchRoute::DesktopShell;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = command.verb.c_str();
  info.lpFile = command.file.c_str();
  info.lpParameters = command.parameters.empty() ? nullptr : command.parameters.c_str();
  info.lpDirectory = command.directory.empty() ? nullptr : command.directory.c_str();
  info.nShow = SW_SHOWDEFAULT;
  ::ShellExecuteExW(&info);
  return LaunchRoute::Direct;
}

std::wstring ExplorerPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  return path + L"explorer.exe";
}
