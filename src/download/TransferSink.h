#pragma once
// Receiver of one transfer's answer, so the two transports need not know whether the body goes
// to a file with progress messages or into memory.
#include <windows.h>

#include <optional>
#include <string>

namespace download {

// What the final response (after redirects) said about its body.
struct ResponseHead {
  DWORD status = 0;
  std::optional<DWORD> length;  // nothing when no usable Content-Length was announced
  std::wstring etag;            // empty when absent
  std::wstring lastModified;
  std::wstring contentRange;
};

class TransferSink {
 public:
  // Once, after the final response's headers.
  virtual void OnHead(const ResponseHead& head) { OnLength(head.length); }
  virtual void OnLength(std::optional<DWORD> /*length*/) {}
  virtual void OnData(const char* data, DWORD size) = 0;
  // A sign of life that carries nothing: a new hop of a redirect chain is starting.
  virtual void OnProgress() {}

 protected:
  ~TransferSink() = default;
};

}  // namespace download
