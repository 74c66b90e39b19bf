#include "offers/EventSender.h"

#include <algorithm>
#include <exception>

#include "config/ApiManager.h"
#include "config/BuildSettings.h"

namespace {

// Events of every sender still on their way. Never destroyed: an event thread may end after the
// dialog and the process's static objects are gone.
struct EventsInFlight {
  win32::Mutex mutex;
  win32::ConditionVariable idle;
  int count = 0;

  static EventsInFlight& Get() {
    // Constant-initialised with nothing to destroy, so it is there before any thread and after.
    static EventsInFlight all;
    return all;
  }
  void Add() {
    std::lock_guard lock(mutex);
    ++count;
  }
  void Remove() {
    std::lock_guard lock(mutex);
    if (--count == 0) idle.notify_all();
  }
};

}  // namespace

void EventSender::Send(int id, config::JsonFields payload, const HeaderList& headers, const std::wstring& url) {
  if (m_state->m_eventsClosed) return;
  {
    std::lock_guard lock(m_state->m_mutex);
    ++m_state->m_pendingEvents;
  }
  EventsInFlight::Get().Add();
  bool started = false;
  try {
    started = win32::StartThread([state = m_state, id, payload = std::move(payload), headers, url]() mutable noexcept {
      Run(std::move(state), id, std::move(payload), std::move(headers), std::move(url));
    });
  } catch (const std::exception&) {
    // The request could not be copied for the thread.
  }
  if (!started) {
    // No thread: the event is dropped like any other failure.
    {
      std::lock_guard lock(m_state->m_mutex);
      if (--m_state->m_pendingEvents == 0) m_state->m_eventsIdle.notify_all();
    }
    EventsInFlight::Get().Remove();
  }
}

void EventSender::Run(std::shared_ptr<State> state, int id, config::JsonFields payload, HeaderList headers,
                      std::wstring url) noexcept {
  try {
    config::JsonFields envelope;
    envelope.Set("data", payload.dump());
    envelope.Set("table", "zb_analytics");
    const std::string body = envelope.dump();
    const DWORD pause = config::GetBuildSettings().eventRetryPauseMs;
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::string response;
      DWORD status = 0;
      if (PostJson(url, body, headers, response, status, kMaxEventResponseBytes) && status >= 200 && status <= 399) {
        state->m_eventsClosed =
            std::find(kTerminalEventIds.begin(), kTerminalEventIds.end(), id) != kTerminalEventIds.end();
        break;
      }
      ::Sleep(pause);
    }
  } catch (...) {
    // An event that cannot be built or sent is dropped.
  }
  {
    std::lock_guard lock(state->m_mutex);
    if (--state->m_pendingEvents == 0) state->m_eventsIdle.notify_all();
  }
  EventsInFlight::Get().Remove();
}

void EventSender::Wait() {
  std::unique_lock lock(m_state->m_mutex);
  m_state->m_eventsIdle.wait(lock, [this] { return m_state->m_pendingEvents == 0; });
}

bool EventSender::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_state->m_mutex);
  return m_state->m_eventsIdle.wait_until(lock, deadline, [this] { return m_state->m_pendingEvents == 0; });
}

bool EventSender::Closed() const { return m_state->m_eventsClosed; }

bool EventSender::WaitForAllUntil(std::chrono::steady_clock::time_point deadline) {
  EventsInFlight& all = EventsInFlight::Get();
  std::unique_lock lock(all.mutex);
  return all.idle.wait_until(lock, deadline, [&all] { return all.count == 0; });
}
