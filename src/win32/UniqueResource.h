#pragma once
// One move-only owner for every kind of OS handle; each trait names its close call and its
// "empty" value, so no other file calls CloseHandle, RegCloseKey or DeleteObject directly.
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace win32 {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type value) noexcept : m_value(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const noexcept { return m_value; }
  explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }

  // Keeps the thread's last error across the close call (as WIL does), so an error text built
  // after a scope exit or a put() still names the call that failed.
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(m_value, value);
    if (old == Traits::Invalid()) return;
    const DWORD error = ::GetLastError();
    Traits::Close(old);
    ::SetLastError(error);
  }
  [[nodiscard]] Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
  // Frees what was held before handing out the address, so an out-parameter cannot leak.
  Type* put() noexcept {
    reset();
    return &m_value;
  }

 private:
  Type m_value = Traits::Invalid();
};

struct HandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct HkeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct HglobalTraits {
  using Type = HGLOBAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::GlobalFree(h); }
};
struct HlocalTraits {
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::LocalFree(h); }
};
struct CoTaskStringTraits {
  using Type = PWSTR;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type p) noexcept { ::CoTaskMemFree(p); }
};
struct CryptProvTraits {
  using Type = ULONG_PTR;  // HCRYPTPROV
  static Type Invalid() noexcept { return 0; }
  static void Close(Type h) noexcept;
};
struct CryptHashTraits {
  using Type = ULONG_PTR;  // HCRYPTHASH
  static Type Invalid() noexcept { return 0; }
  static void Close(Type h) noexcept;
};
struct HmoduleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::FindClose(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueHkey = UniqueResource<HkeyTraits>;
using UniqueHbrush = UniqueResource<GdiObjectTraits<HBRUSH>>;
using UniqueHfont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueHglobal = UniqueResource<HglobalTraits>;
using UniqueHlocal = UniqueResource<HlocalTraits>;
using UniqueCoTaskString = UniqueResource<CoTaskStringTraits>;
using UniqueCryptProv = UniqueResource<CryptProvTraits>;
using UniqueCryptHash = UniqueResource<CryptHashTraits>;
using UniqueHmodule = UniqueResource<HmoduleTraits>;

// COM reference owner; put() releases the old pointer first, like the other owners.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      m_ptr = std::exchange(other.m_ptr, nullptr);
    }
    return *this;
  }
  T* get() const noexcept { return m_ptr; }
  T* operator->() const noexcept { return m_ptr; }
  explicit operator bool() const noexcept { return m_ptr != nullptr; }
  void reset() noexcept {
    if (T* p = std::exchange(m_ptr, nullptr)) p->Release();
  }
  T** put() noexcept {
    reset();
    return &m_ptr;
  }

 private:
  T* m_ptr = nullptr;
};

}  // namespace win32
