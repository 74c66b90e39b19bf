#pragma once
// Runs work on a thread of its own and hands the result over through a future. Unlike
// std::async, dropping the future never waits for the work: a page the user closes must not
// block on a download or an installer. The work must hold (copies of) what it uses.
#include <exception>
#include <future>
#include <thread>
#include <utility>

namespace win32 {

template <typename Result, typename Work>
std::future<Result> RunDetached(Work work) {
  std::promise<Result> promise;
  std::future<Result> future = promise.get_future();
  try {
    std::thread([work = std::move(work), promise = std::move(promise)]() mutable noexcept {
      try {
        promise.set_value(work());
      } catch (...) {
        promise.set_exception(std::current_exception());
      }
    }).detach();
  } catch (...) {
    // No thread: the future is ready at once, carrying the failure.
    std::promise<Result> failed;
    failed.set_exception(std::current_exception());
    return failed.get_future();
  }
  return future;
}

}  // namespace win32
