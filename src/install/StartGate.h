#pragma once
// Lets a closing wizard stop the installer start under way and wait for it. A start (unpacking
// and the process creation) holds a pass; once Close() has been called no pass is given, an
// unpacking stops at its next block, and Close() waits, within its deadline, until the passes
// held have ended. The wait for a started installer to finish is never part of a pass.
#include <atomic>
#include <chrono>
#include <mutex>

#include "win32/Threads.h"

namespace install {

class StartGate {
 public:
  class Pass {
   public:
    // A pass of `gate` unless it is closed; a null gate always passes.
    explicit Pass(StartGate* gate);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    explicit operator bool() const noexcept { return m_held || m_gate == nullptr; }

   private:
    StartGate* m_gate;
    bool m_held = false;
  };

  // Refuses every later pass, then waits until the deadline at most for those held to end;
  // true when none is held any more.
  bool Close(std::chrono::steady_clock::time_point deadline);
  // Raised by Close(); long work under a pass reads it between steps.
  const std::atomic<bool>& Closing() const noexcept { return m_closed; }

 private:
  win32::Mutex m_mutex;
  win32::ConditionVariable m_released;
  std::atomic<bool> m_closed{false};
  int m_held = 0;
};

}  // namespace install
