#pragma once
// One file download across its tries and both transports: the file being written, its hash and
// progress, and what is needed to ask for the rest after an early end. A try either continues
// the file (206 with the right Content-Range), starts it again from zero (200), or fails.
#include <windows.h>

#include <optional>
#include <string>

#include "config/FileHasher.h"
#include "download/ProgressReporter.h"
#include "download/TargetFile.h"
#include "download/TransferSink.h"

namespace download {

class FileDownload final : public TransferSink {
 public:
  // `cap`: what a body without a length may write; nothing for NoLengthCap of the target drive.
  FileDownload(const std::wstring& path, HWND window, config::HashEngine hashEngine,
               std::optional<unsigned long long> cap);

  // Starts a try; the extra request headers it needs (a range when the file can continue).
  std::wstring BeginTry();
  // After the transfer returned: flushes, and fails when bytes are missing or too many.
  void Finish(bool winInet);
  // Whether `error`, which ended the current try, is an early end worth resuming: the body was
  // under way (or a resumed try could not reach the server) and nothing refused the answer.
  bool EndedEarly(const std::exception& error) const;
  // Before the other transport: what a refused answer left is not continued.
  void NextTransport();
  void Commit();
  std::string Sha256Hex() { return m_file.Sha256Hex(); }
  unsigned long long Written() const { return m_written; }
  std::optional<unsigned long long> Total() const { return m_total; }

  void OnHead(const ResponseHead& head) override;
  void OnData(const char* data, DWORD size) override;

 private:
  // OnHead's work; whatever it throws marks the try as refused.
  void Accept(const ResponseHead& head);

  TargetFile m_file;
  ProgressReporter m_progress;
  unsigned long long m_cap;          // bytes allowed without a known length
  unsigned long long m_written = 0;  // in the file, from its first byte
  std::optional<unsigned long long> m_total;
  std::wstring m_validator;            // If-Range of the version being written
  unsigned long long m_askedFrom = 0;  // the current try's range start; 0 without a range
  bool m_started = false;              // an answer was taken for this file
  bool m_headThisTry = false;
  bool m_refused = false;  // the current try ended on something not worth resuming
  bool m_short = false;    // the current try ended cleanly, short of the length
};

}  // namespace download
