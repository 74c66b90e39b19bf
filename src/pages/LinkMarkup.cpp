#include "pages/LinkMarkup.h"

std::wstring LinkUrl(std::wstring_view url) {
  std::wstring safe;
  safe.reserve(url.size());
  for (const wchar_t c : url) {
    switch (c) {
      case L'"':
        safe += L"%22";
        break;
      case L'<':
        safe += L"%3C";
        break;
      case L'>':
        safe += L"%3E";
        break;
      default:
        safe += c;
    }
  }
  return safe;
}

std::wstring LinkText(std::wstring_view text) {
  std::wstring safe;
  safe.reserve(text.size());
  for (const wchar_t c : text) {
    if (c != L'<' && c != L'>') safe += c;
  }
  return safe;
}

std::wstring MakeLink(std::wstring_view url, std::wstring_view text) {
  return L"<a href=\"" + LinkUrl(url) + L"\">" + LinkText(text) + L"</a>";
}
