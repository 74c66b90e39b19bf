#include "install/FolderTree.h"

#include <winternl.h>

#include "win32/UniqueResource.h"

namespace install {

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EnsureFolder(const std::wstring& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(path);
}

std::vector<FolderItem> ListFolder(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<FolderItem> items;
  WIN32_FIND_DATAW data{};
  win32::UniqueFind find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
  if (!find) return items;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") items.push_back({name, data.dwFileAttributes});
  } while (::FindNextFileW(find.get(), &data));
  return items;
}

namespace {

// Enough to list a folder, change attributes and delete; never to read or write content.
constexpr ACCESS_MASK kRemovalAccess =
    DELETE | SYNCHRONIZE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Object {
  win32::UniqueFile handle;
  DWORD attributes = 0;
  DWORD error = ERROR_SUCCESS;  // of the open, when there is no handle
};

void ReadAttributes(Object& object) {
  FILE_BASIC_INFO info{};
  if (::GetFileInformationByHandleEx(object.handle.get(), FileBasicInfo, &info, sizeof(info))) {
    object.attributes = info.FileAttributes;
  }
}

Object OpenRoot(const std::wstring& path) {
  Object object;
  object.handle.reset(::CreateFileW(path.c_str(), kRemovalAccess, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!object.handle) object.error = ::GetLastError();
  if (object.handle) ReadAttributes(object);
  return object;
}

// Opened by its name inside the folder's handle, not by a path: renaming or replacing a folder
// above it after it was listed cannot redirect the open.
Object OpenChild(HANDLE folder, const std::wstring& name) {
  Object object;
  UNICODE_STRING text{};
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  const NTSTATUS result =
      ::NtCreateFile(&handle, kRemovalAccess, &attributes, &status, nullptr, 0, kShareAll, FILE_OPEN,
                     FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (result < 0) {
    object.error = ::RtlNtStatusToDosError(result);
    return object;
  }
  object.handle.reset(handle);
  ReadAttributes(object);
  return object;
}

std::vector<std::wstring> ListByHandle(HANDLE folder) {
  std::vector<std::wstring> names;
  alignas(LONGLONG) char buffer[64 * 1024];
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(folder, kind, buffer, sizeof(buffer))) {
    kind = FileIdBothDirectoryInfo;
    for (std::size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") names.push_back(name);
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return names;
}

bool DeleteByHandle(HANDLE object) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(object, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool MakeWritable(const Object& object) {
  FILE_BASIC_INFO info{};
  info.FileAttributes = object.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would mean "unchanged"
  return ::SetFileInformationByHandle(object.handle.get(), FileBasicInfo, &info, sizeof(info)) != FALSE;
}

class Remover {
 public:
  explicit Remover(const RemovalHooks& hooks) : m_hooks(hooks) {}

  void Remove(Object& object, const std::wstring& path) {
    if (!object.handle) {
      if (object.error == ERROR_SHARING_VIOLATION || object.error == ERROR_ACCESS_DENIED) m_left.push_back(path);
      return;
    }
    if (IsLink(object, path)) {
      DeleteByHandle(object.handle.get());  // the link itself; left where it is when it stays
      return;
    }
    if ((object.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (m_hooks.leaveWhole && m_hooks.leaveWhole(path)) {
        Collect(object, path);
        return;
      }
      for (const std::wstring& name : List(object, path)) {
        Object child = OpenChild(object.handle.get(), name);
        Remove(child, path + L"\\" + name);
      }
      if (!DeleteByHandle(object.handle.get())) m_left.push_back(path);
      return;
    }
    if (DeleteByHandle(object.handle.get())) return;
    if ((object.attributes & FILE_ATTRIBUTE_READONLY) != 0 && MakeWritable(object) &&
        DeleteByHandle(object.handle.get())) {
      return;
    }
    m_left.push_back(path);
  }

  std::vector<std::wstring> TakeLeft() { return std::move(m_left); }

 private:
  bool IsLink(const Object& object, const std::wstring& path) const {
    if (m_hooks.isLink) return m_hooks.isLink(path, object.handle.get(), object.attributes);
    return (object.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }

  std::vector<std::wstring> List(const Object& folder, const std::wstring& path) const {
    std::vector<std::wstring> names = ListByHandle(folder.handle.get());
    if (m_hooks.afterListing) m_hooks.afterListing(path);
    return names;
  }

  // Everything below a folder left whole, then the folder. Links inside are neither entered nor
  // returned: by the restart one could point anywhere.
  void Collect(const Object& folder, const std::wstring& path) {
    for (const std::wstring& name : List(folder, path)) {
      Object child = OpenChild(folder.handle.get(), name);
      const std::wstring childPath = path + L"\\" + name;
      if (!child.handle) {
        if (child.error == ERROR_SHARING_VIOLATION || child.error == ERROR_ACCESS_DENIED) m_left.push_back(childPath);
      } else if (IsLink(child, childPath)) {
        continue;
      } else if ((child.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Collect(child, childPath);
      } else {
        m_left.push_back(childPath);
      }
    }
    m_left.push_back(path);
  }

  const RemovalHooks& m_hooks;
  std::vector<std::wstring> m_left;
};

}  // namespace

std::vector<std::wstring> RemoveTree(const std::wstring& path, const RemovalHooks& hooks) {
  Remover remover(hooks);
  Object root = OpenRoot(path);
  remover.Remove(root, path);
  return remover.TakeLeft();
}

}  // namespace install
