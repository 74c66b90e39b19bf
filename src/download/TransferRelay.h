#pragma once
// Runs one blocking transfer on a thread of its own and relays what it delivers (length, data,
// its end or failure) to a sink on the calling thread. The caller can so stop waiting at once
// when the wizard cancels or the peer stops answering, whatever the platform call blocked in
// the transfer thread does: under Wine neither WinHTTP's nor WinINet's synchronous read ends
// when its handle is closed, and WinINet ignores its time-outs during a TLS handshake. An
// abandoned transfer thread holds only its own handles and the relay's shared state; it stops
// at its next step, and a call blocked where no time-out applies may keep it until the process
// ends. Nothing waits for it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "download/TransferSink.h"
#include "win32/Threads.h"

namespace download {

class Relay;

// The relays of one manager, so that cancelling reaches transfers that are waiting. The
// cancellation flag is the manager's: raised, no relay starts; raised and then CancelAll(), the
// running ones end too.
class RelayRegistry {
 public:
  explicit RelayRegistry(const std::atomic<bool>& cancelled) : m_cancelled(cancelled) {}
  // Ends every relay now running with DownloadCancelled; the flag must be raised first.
  void CancelAll();
  // Sleeps `milliseconds` unless CancelAll() comes first.
  void SleepUnlessCancelled(DWORD milliseconds);
  const std::atomic<bool>& Cancelled() const noexcept { return m_cancelled; }

 private:
  friend class RelayRegistration;
  const std::atomic<bool>& m_cancelled;
  win32::Mutex m_mutex;
  win32::ConditionVariable m_cancelledChanged;
  std::vector<std::shared_ptr<Relay>> m_relays;
};

// The transport itself: it delivers to `sink` and stops at its next step once `stop` is raised.
// It runs on another thread, so it must own everything it touches (capture by value).
using BlockingTransfer = std::function<void(TransferSink& sink, const std::atomic<bool>& stop)>;

// Returns when the transfer has delivered everything to `sink`. Raises the transfer's own
// failure; DownloadCancelled when `registry` was cancelled or its flag is seen raised between
// two deliveries; DownloadError when the transfer showed no sign of life for `stallLimitMs`.
// Without a thread the transfer runs on the calling thread.
void RunRelayed(const BlockingTransfer& transfer, TransferSink& sink, RelayRegistry& registry, DWORD stallLimitMs);

}  // namespace download
