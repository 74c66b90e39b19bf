#pragma once
// Small file-system helpers for the installer files: listing a folder and removing a tree
// the wizard wrote itself.
#include <windows.h>

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
// Deletes a file or a folder with everything below it. Links are removed, never followed.
bool RemoveTree(const std::wstring& path);

}  // namespace install
