#pragma once
// Sends one package's analytics events, each on a thread of its own that holds only this small
// shared state, so the package may be dropped at any time without waiting. Events in flight
// are also counted for the whole process, which the wizard's exit waits for once.
#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "config/JsonFields.h"
#include "config/SignedRequest.h"
#include "win32/Threads.h"

// Fields an event adds to its package's template or replaces in it, all texts (a JSON object
// of texts, for callers that take one).
using EventFields = std::map<std::string, std::string>;

// Event ids after whose delivery a package sends nothing more.
inline constexpr std::array<int, 5> kTerminalEventIds = {-1, 2, 3, 4, 5};

class EventSender {
 public:
  // Schedules the payload on a thread of its own and returns at once; nothing is sent once a
  // terminal event was delivered.
  void Send(int id, config::JsonFields payload, const HeaderList& headers, const std::wstring& url);
  // Until no event of this sender is in flight, however long that takes.
  void Wait();
  // The same, up to `deadline`; true when none is in flight.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);
  bool Closed() const;
  // The events of every sender in the process, up to `deadline`; true when none is in flight.
  static bool WaitForAllUntil(std::chrono::steady_clock::time_point deadline);

 private:
  // Shared with the event threads, so a thread finishing its last step never touches a package
  // that is being destroyed.
  struct State {
    win32::Mutex m_mutex;
    win32::ConditionVariable m_eventsIdle;
    int m_pendingEvents = 0;
    std::atomic<bool> m_eventsClosed{false};
  };
  static void Run(std::shared_ptr<State> state, int id, config::JsonFields payload, HeaderList headers,
                  std::wstring url) noexcept;

  std::shared_ptr<State> m_state = std::make_shared<State>();
};
