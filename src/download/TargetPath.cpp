#include "download/TargetPath.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <string_view>

#include "download/DownloadManager.h"

namespace download {

std::wstring FileNameFromUrl(const std::wstring& url) {
  std::wstring_view rest(url);
  rest = rest.substr(0, rest.find(L'#'));
  rest = rest.substr(0, rest.find(L'?'));
  const auto slash = rest.rfind(L'/');
  if (slash == std::wstring_view::npos) return {};
  return std::wstring(rest.substr(slash + 1));
}

}  // namespace download

bool AppendPath(std::wstring& path, const std::wstring& more) {
  if (path.size() >= MAX_PATH) return false;
  wchar_t buffer[MAX_PATH] = {};
  std::copy(path.begin(), path.end(), buffer);
  if (!::PathAppendW(buffer, more.c_str())) return false;
  path = buffer;
  return true;
}
