#include "download/TransferRelay.h"

#include <chrono>
#include <exception>
#include <optional>
#include <utility>

#include "download/DownloadError.h"

namespace download {
namespace {

// Bytes the transfer thread may run ahead of the calling thread before it waits.
constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;
// ERROR_WINHTTP_TIMEOUT and ERROR_INTERNET_TIMEOUT share this value.
constexpr DWORD kTimeoutError = 12002;

// SRW lock and condition variable rather than the C++ ones: these wait in-process (futexes
// under Wine), where the threads library's go through kernel objects per wake-up.
class SrwGuard {
 public:
  explicit SrwGuard(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
  ~SrwGuard() { ::ReleaseSRWLockExclusive(&m_lock); }
  SrwGuard(const SrwGuard&) = delete;
  SrwGuard& operator=(const SrwGuard&) = delete;

 private:
  SRWLOCK& m_lock;
};

}  // namespace

// State shared by the calling thread and the transfer thread; all of it under m_lock except
// m_stop, which the transport reads between its steps.
class Relay {
 public:
  enum class Outcome { Delivered, Cancelled, Stalled };

  struct Batch {
    Outcome outcome = Outcome::Delivered;
    bool hasHead = false;  // an optional<ResponseHead> trips GCC 12's maybe-uninitialized check
    ResponseHead head;
    bool finished = false;
    std::exception_ptr error;
  };

  const std::atomic<bool>& StopFlag() const { return m_stop; }

  // --- transfer thread
  void PutHead(const ResponseHead& head) {
    SrwGuard guard(m_lock);
    ThrowIfAbandoned();
    m_head = head;
    m_hasHead = true;
    MarkAlive();
  }
  void PutData(const char* data, DWORD size) {
    SrwGuard guard(m_lock);
    while (m_data.size() >= kMaxQueuedBytes && !m_abandoned) {
      m_transferWaiting = true;
      ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
      m_transferWaiting = false;
    }
    ThrowIfAbandoned();
    m_data.insert(m_data.end(), data, data + size);
    MarkAlive();
  }
  void Touch() {
    SrwGuard guard(m_lock);
    ThrowIfAbandoned();
    MarkAlive();
  }
  void Finish(std::exception_ptr error) {
    SrwGuard guard(m_lock);
    m_finished = true;
    m_error = std::move(error);
    ::WakeAllConditionVariable(&m_changed);
  }

  // --- calling thread; `spare` is swapped with the queued bytes so neither side reallocates
  Batch Take(std::vector<char>& spare, DWORD stallLimitMs) {
    spare.clear();
    SrwGuard guard(m_lock);
    for (;;) {
      Batch batch;
      if (m_cancelled) {
        batch.outcome = Outcome::Cancelled;
        return batch;
      }
      if (m_hasHead || !m_data.empty() || m_finished) {
        batch.hasHead = std::exchange(m_hasHead, false);
        if (batch.hasHead) batch.head = std::move(m_head);
        spare.swap(m_data);
        batch.finished = m_finished;
        batch.error = m_error;
        // Time the calling thread spent on the last batch is not the peer's silence.
        m_lastSign = ::GetTickCount64();
        if (m_transferWaiting) ::WakeAllConditionVariable(&m_changed);
        return batch;
      }
      const ULONGLONG quiet = ::GetTickCount64() - m_lastSign;
      if (quiet >= stallLimitMs) {
        batch.outcome = Outcome::Stalled;
        return batch;
      }
      m_callerWaiting = true;
      ::SleepConditionVariableSRW(&m_changed, &m_lock, static_cast<DWORD>(stallLimitMs - quiet), 0);
      m_callerWaiting = false;
    }
  }
  void Abandon(bool cancelled) {
    SrwGuard guard(m_lock);
    m_abandoned = true;
    m_cancelled = m_cancelled || cancelled;
    m_stop = true;
    ::WakeAllConditionVariable(&m_changed);
  }

 private:
  void ThrowIfAbandoned() const {
    if (m_abandoned) throw DownloadCancelled();
  }
  void MarkAlive() {
    m_lastSign = ::GetTickCount64();
    if (m_callerWaiting) ::WakeAllConditionVariable(&m_changed);
  }

  SRWLOCK m_lock = SRWLOCK_INIT;
  CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
  std::vector<char> m_data;
  bool m_hasHead = false;
  ResponseHead m_head;
  bool m_finished = false;
  std::exception_ptr m_error;
  bool m_abandoned = false;
  bool m_cancelled = false;
  bool m_callerWaiting = false;
  bool m_transferWaiting = false;
  ULONGLONG m_lastSign = ::GetTickCount64();
  std::atomic<bool> m_stop{false};
};

// Keeps a relay reachable from its registry while the calling thread waits on it, and
// abandons it however the wait ends, so a transfer thread never outlives its use unnoticed.
class RelayRegistration {
 public:
  RelayRegistration(RelayRegistry& registry, const std::shared_ptr<Relay>& relay)
      : m_registry(registry), m_relay(relay) {
    {
      std::lock_guard lock(m_registry.m_mutex);
      m_registry.m_relays.push_back(relay);
    }
    // Read after joining the list: a cancellation either finds this relay there or is seen here.
    if (m_registry.m_cancelled) relay->Abandon(true);
  }
  ~RelayRegistration() {
    m_relay->Abandon(false);
    std::lock_guard lock(m_registry.m_mutex);
    std::erase(m_registry.m_relays, m_relay);
  }
  RelayRegistration(const RelayRegistration&) = delete;
  RelayRegistration& operator=(const RelayRegistration&) = delete;

 private:
  RelayRegistry& m_registry;
  std::shared_ptr<Relay> m_relay;
};

void RelayRegistry::CancelAll() {
  std::vector<std::shared_ptr<Relay>> running;
  {
    // Taken after the flag was raised, so a sleeper that saw it lowered is already waiting.
    std::lock_guard lock(m_mutex);
    running = m_relays;
  }
  m_cancelledChanged.notify_all();
  for (const auto& relay : running) relay->Abandon(true);
}

void RelayRegistry::SleepUnlessCancelled(DWORD milliseconds) {
  std::unique_lock lock(m_mutex);
  m_cancelledChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_cancelled.load(); });
}

namespace {

class RelaySink final : public TransferSink {
 public:
  explicit RelaySink(Relay& relay) : m_relay(relay) {}
  void OnHead(const ResponseHead& head) override { m_relay.PutHead(head); }
  void OnData(const char* data, DWORD size) override { m_relay.PutData(data, size); }
  void OnProgress() override { m_relay.Touch(); }

 private:
  Relay& m_relay;
};

}  // namespace

void RunRelayed(const BlockingTransfer& transfer, TransferSink& sink, RelayRegistry& registry, DWORD stallLimitMs) {
  const std::atomic<bool>& cancelled = registry.Cancelled();
  if (cancelled) throw DownloadCancelled();
  auto relay = std::make_shared<Relay>();
  RelayRegistration registration(registry, relay);
  bool started = false;
  try {
    started = win32::StartThread([relay, transfer]() noexcept {
      RelaySink relaySink(*relay);
      try {
        transfer(relaySink, relay->StopFlag());
        relay->Finish(nullptr);
      } catch (...) {
        relay->Finish(std::current_exception());
      }
    });
  } catch (const std::exception&) {
    // The transfer could not be copied for the thread.
  }
  if (!started) {
    // No thread to spare: the transfer blocks this thread instead and ends at its time-outs.
    transfer(sink, cancelled);
    return;
  }

  std::vector<char> data;
  for (;;) {
    const Relay::Batch batch = relay->Take(data, stallLimitMs);
    if (batch.outcome == Relay::Outcome::Cancelled) throw DownloadCancelled();
    if (batch.outcome == Relay::Outcome::Stalled) ThrowSystemError(L"The server stopped answering: ", kTimeoutError);
    if (batch.hasHead) sink.OnHead(batch.head);
    if (!data.empty()) sink.OnData(data.data(), static_cast<DWORD>(data.size()));
    if (batch.finished) {
      if (batch.error) std::rethrow_exception(batch.error);
      return;
    }
    // A cancellation written straight into the flag is seen between two deliveries.
    if (cancelled) throw DownloadCancelled();
  }
}

}  // namespace download
