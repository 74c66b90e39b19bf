#pragma once
// Receiver of one transfer's answer, so the two transports need not know whether the body goes
// to a file with progress messages or into memory.
#include <windows.h>

#include <optional>

namespace download {

class TransferSink {
 public:
  // Once, after the final response's headers; nothing when it announced no usable length.
  virtual void OnLength(std::optional<DWORD> length) = 0;
  virtual void OnData(const char* data, DWORD size) = 0;
  // A sign of life that carries nothing: a new hop of a redirect chain is starting.
  virtual void OnProgress() {}

 protected:
  ~TransferSink() = default;
};

}  // namespace download
