#pragma once
// The kinds of page. A page keeps its kind; the dialog decides by kind, and the name a page
// reports to the debugger output and to test drivers comes from its kind alone.

enum class PageKind {
  Language,
  LanguageBT,
  Loading,
  Welcome,
  License,
  Warning,
  Product,
  Options,
  Configurations,
  DownloadDlm,
  DownloadIsv,
  FinishDlm,
  FinishIsv,
  Error,
};

const wchar_t* PageName(PageKind kind) noexcept;

inline bool IsDownloadPage(PageKind kind) noexcept {
  return kind == PageKind::DownloadDlm || kind == PageKind::DownloadIsv;
}
inline bool IsFinishPage(PageKind kind) noexcept { return kind == PageKind::FinishDlm || kind == PageKind::FinishIsv; }
