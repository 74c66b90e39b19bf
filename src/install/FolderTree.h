#pragma once
// Small file-system helpers for the installer files: listing a folder, and removing a tree the
// wizard wrote itself without ever following a link out of it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace install {

struct FolderItem {
  std::wstring name;
  DWORD attributes = 0;
};

bool IsFolder(const std::wstring& path);
// Created now, or already there as a folder.
bool EnsureFolder(const std::wstring& path);
// The entries matching folder\pattern, without "." and ".."; empty when none or unreadable.
std::vector<FolderItem> ListFolder(const std::wstring& folder, const wchar_t* pattern = L"*");

// What a removal decides on and where tests step in (Wine can create no junction).
struct RemovalHooks {
  // Whether an opened object is a link (junction, symbolic link) to remove itself, never to
  // enter; by default its reparse-point attribute, read through its handle.
  std::function<bool(const std::wstring& path, HANDLE object, DWORD attributes)> isLink;
  // Folders not to empty (an installer still runs from them): they and what they hold are
  // returned for removal at the next restart instead.
  std::function<bool(const std::wstring& path)> leaveWhole;
  // Called once a folder's entries are listed, before they are opened.
  std::function<void(const std::wstring& folder)> afterListing;
};

// Removes `path` with everything below it through handles: each object is opened without
// following a link (below the root, relative to its folder's handle), judged by that handle,
// entered only when it is a folder and no link, and deleted by that handle. So an entry swapped
// for a link after its folder was listed is removed itself, or left, but never followed, and
// nothing outside `path` is touched. Read-only files are made writable first; a link that cannot
// be removed is left where it is. Returns what could not go now and may go at the next restart:
// files in use, folders still holding something, and what `leaveWhole` keeps, deepest first.
std::vector<std::wstring> RemoveTree(const std::wstring& path, const RemovalHooks& hooks = {});

}  // namespace install
