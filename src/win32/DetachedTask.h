#pragma once
// Runs work on a thread of its own and hands the result over through a Pending. Unlike
// std::async, dropping the Pending never waits for the work: a page the user closes must not
// block on a download or an installer. The work must hold (copies of) what it uses.
#include <windows.h>

#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "win32/Threads.h"

namespace win32 {

template <typename Result>
class Pending {
 public:
  Pending() = default;
  // A result that is there at once (work that needed no thread).
  static Pending Ready(Result value) {
    Pending pending;
    pending.m_state = std::make_shared<State>();
    pending.m_state->value.emplace(std::move(value));
    pending.m_state->ready = true;
    return pending;
  }

  // False before any work and after Get().
  bool Valid() const noexcept { return m_state != nullptr; }
  bool IsReady() const {
    if (!m_state) return false;
    std::lock_guard lock(m_state->mutex);
    return m_state->ready;
  }
  // Waits for the result until the deadline at most; true when it is there.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->done.wait_until(lock, deadline, [this] { return m_state->ready; });
  }
  // Waits for the result and takes it, or raises the work's failure.
  Result Get() {
    const std::shared_ptr<State> state = std::move(m_state);
    std::unique_lock lock(state->mutex);
    state->done.wait(lock, [&state] { return state->ready; });
    if (state->error) std::rethrow_exception(state->error);
    return std::move(*state->value);
  }

 private:
  template <typename R, typename Work>
  friend Pending<R> RunDetached(Work work);

  struct State {
    Mutex mutex;
    ConditionVariable done;
    bool ready = false;
    std::optional<Result> value;
    std::exception_ptr error;
  };
  std::shared_ptr<State> m_state;
};

template <typename Result, typename Work>
Pending<Result> RunDetached(Work work) {
  using State = typename Pending<Result>::State;
  Pending<Result> pending;
  pending.m_state = std::make_shared<State>();
  const bool started = StartThread([work = std::move(work), state = pending.m_state]() mutable noexcept {
    std::optional<Result> value;
    std::exception_ptr error;
    try {
      value.emplace(work());
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(state->mutex);
    state->value = std::move(value);
    state->error = error;
    state->ready = true;
    state->done.notify_all();
  });
  if (!started) {
    // No thread: the result is there at once, carrying the failure.
    pending.m_state->error = std::make_exception_ptr(
        std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "no thread for the work"));
    pending.m_state->ready = true;
  }
  return pending;
}

}  // namespace win32
