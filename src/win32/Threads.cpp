#include "win32/Threads.h"

#include <process.h>

#include "win32/UniqueResource.h"

namespace win32 {

DWORD ConditionVariable::MillisecondsUntil(Deadline deadline) noexcept {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= left.zero()) return 0;
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
}

void ConditionVariable::Sleep(std::unique_lock<Mutex>& lock, DWORD milliseconds) noexcept {
  ::SleepConditionVariableSRW(&m_condition, &lock.mutex()->m_lock, milliseconds, 0);
}

namespace detail {

bool StartThread(ThreadEntry entry, void* work) noexcept {
  const UniqueHandle thread(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, entry, work, 0, nullptr)));
  return static_cast<bool>(thread);
}

}  // namespace detail

}  // namespace win32
