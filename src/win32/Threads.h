#pragma once
// Threads and their synchronisation on the system's own primitives: SRW locks, condition
// variables and _beginthreadex. The standard library's go through winpthreads here and add about
// 25 KB to the stub. The members keep the standard names, so std::lock_guard and
// std::unique_lock work with Mutex as with std::mutex.
#include <windows.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace win32 {

class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept { ::AcquireSRWLockExclusive(&m_lock); }
  bool try_lock() noexcept { return ::TryAcquireSRWLockExclusive(&m_lock) != FALSE; }
  void unlock() noexcept { ::ReleaseSRWLockExclusive(&m_lock); }

 private:
  friend class ConditionVariable;
  SRWLOCK m_lock = SRWLOCK_INIT;
};

class ConditionVariable {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  constexpr ConditionVariable() noexcept = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void notify_one() noexcept { ::WakeConditionVariable(&m_condition); }
  void notify_all() noexcept { ::WakeAllConditionVariable(&m_condition); }

  template <typename Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate done) {
    while (!done()) Sleep(lock, INFINITE);
  }
  // True when `done` holds, false when the deadline passed first.
  template <typename Predicate>
  bool wait_until(std::unique_lock<Mutex>& lock, Deadline deadline, Predicate done) {
    while (!done()) {
      const DWORD left = MillisecondsUntil(deadline);
      if (left == 0) return done();
      Sleep(lock, left);
    }
    return true;
  }
  template <typename Predicate>
  bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::milliseconds timeout, Predicate done) {
    return wait_until(lock, std::chrono::steady_clock::now() + timeout, std::move(done));
  }

 private:
  // Rounded up, so a wait never ends before its deadline; 0 once it has passed.
  static DWORD MillisecondsUntil(Deadline deadline) noexcept;
  void Sleep(std::unique_lock<Mutex>& lock, DWORD milliseconds) noexcept;

  CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

// A value made the first time any thread asks for it, and never destroyed, so threads still
// running as the process ends can use it. Function-local statics would do the same through
// libstdc++'s guards and winpthreads' condition variables (about 11 KB); declared as one, a
// MadeOnce needs neither (constant-initialised, nothing to destroy).
template <typename T>
class MadeOnce {
 public:
  constexpr MadeOnce() noexcept = default;
  MadeOnce(const MadeOnce&) = delete;
  MadeOnce& operator=(const MadeOnce&) = delete;

  // A failing `make` leaves it unmade, for the next caller to try again.
  template <typename Make>
  T& Get(Make make) {
    BOOL pending = FALSE;
    void* made = nullptr;
    ::InitOnceBeginInitialize(&m_once, 0, &pending, &made);
    if (!pending) return *static_cast<T*>(made);
    try {
      made = new T(make());
    } catch (...) {
      ::InitOnceComplete(&m_once, INIT_ONCE_INIT_FAILED, nullptr);
      throw;
    }
    ::InitOnceComplete(&m_once, 0, made);
    return *static_cast<T*>(made);
  }

 private:
  INIT_ONCE m_once = INIT_ONCE_STATIC_INIT;
};

namespace detail {

using ThreadEntry = unsigned(__stdcall*)(void* work);
bool StartThread(ThreadEntry entry, void* work) noexcept;

template <typename Work>
unsigned __stdcall RunOwned(void* work) noexcept {
  const std::unique_ptr<Work> owned(static_cast<Work*>(work));
  (*owned)();
  return 0;
}

}  // namespace detail

// Runs `work` on a thread of its own that nobody joins; false when no thread could be made (the
// work is then dropped, unrun). The work must own what it uses and must not throw.
template <typename Work>
bool StartThread(Work&& work) noexcept {
  using Owned = std::decay_t<Work>;
  Owned* owned = nullptr;
  try {
    owned = new Owned(std::forward<Work>(work));
  } catch (...) {
    return false;
  }
  if (detail::StartThread(&detail::RunOwned<Owned>, owned)) return true;
  delete owned;
  return false;
}

}  // namespace win32
