#pragma once
// Runs one blocking transfer on a thread of its own and relays what it delivers (length, data,
// its end or failure) to a sink on the calling thread. The caller can so stop waiting at once
// when the wizard cancels or the peer stops answering, whatever the platform call blocked in
// the transfer thread does: under Wine neither WinHTTP's nor WinINet's synchronous read ends
// when its handle is closed, and WinINet ignores its time-outs during a TLS handshake. An
// abandoned transfer thread holds only its own handles and the relay's shared state; it stops
// at its next step and ends at the latest when its blocked call times out.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "download/TransferSink.h"

namespace download {

class Relay;

// The relays of one manager, so that cancelling reaches transfers that are waiting.
class RelayRegistry {
 public:
  // Ends every relay now running and every one started later with DownloadCancelled.
  void CancelAll();
  // Sleeps `milliseconds` unless CancelAll() comes first; true when it did.
  bool SleepUnlessCancelled(DWORD milliseconds);

 private:
  friend class RelayRegistration;
  std::mutex m_mutex;
  std::condition_variable m_cancelledChanged;
  std::vector<std::weak_ptr<Relay>> m_relays;
  bool m_cancelled = false;
};

// The transport itself: it delivers to `sink` and stops at its next step once `stop` is raised.
// It runs on another thread, so it must own everything it touches (capture by value).
using BlockingTransfer = std::function<void(TransferSink& sink, const std::atomic<bool>& stop)>;

// Returns when the transfer has delivered everything to `sink`. Raises the transfer's own
// failure; DownloadCancelled when `registry` was cancelled or `cancelled` is seen raised
// between two deliveries; DownloadError when the transfer showed no sign of life for
// `stallLimitMs`. Without a thread the transfer runs on the calling thread.
void RunRelayed(const BlockingTransfer& transfer, TransferSink& sink, RelayRegistry& registry,
                const std::atomic<bool>& cancelled, DWORD stallLimitMs);

}  // namespace download
