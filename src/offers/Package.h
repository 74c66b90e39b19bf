#pragma once
// The main product or one partner offer: texts and URLs for the pages, eligibility parameters,
// flow settings, the parameter table for {key} placeholders, and an event sender of its own.
// Always created with std::make_shared and shared, never copied.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/SignedRequest.h"
#include "offers/PackageSettings.h"
#include "offers/ParameterTable.h"

namespace Gdiplus {
class Bitmap;
}

// Event ids after whose delivery a package sends nothing more.
inline constexpr std::array<int, 5> kTerminalEventIds = {-1, 2, 3, 4, 5};

enum EventId : int {
  EVENT_FAILED = -1,
  EVENT_STARTED = 1,
  EVENT_NOT_SHOWN = 2,
  EVENT_FINISHED = 3,
  EVENT_DECLINED = 4,
  EVENT_CLOSED = 5,
};

class Package : public std::enable_shared_from_this<Package> {
 public:
  // An offer of the configuration document. Raises the JSON library's out_of_range for a
  // missing required key and type_error for a key of the wrong type.
  Package(const SignedRequest& request, const nlohmann::json& offer, bool isMain, const std::string& trackingCode,
          int index);
  // The main product.
  Package(const SignedRequest& request, bool isMain, const std::wstring& offerId, const std::wstring& adToken,
          const std::wstring& displayName, const std::wstring& trackingCode, int index);
  // Never waits: events in flight go on alone, and the wizard's exit waits for all of them at
  // once (WaitForAllEventsUntil).
  ~Package() = default;
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  void Reinitialize(const SignedRequest& request, const std::wstring& offerId, const std::wstring& adToken,
                    const std::wstring& displayName, const std::wstring& trackingCode);
  void BuildEventTemplate();
  std::string ExpandPlaceholders(const std::string& text) const { return m_parameters.Expand(text); }

  // Schedules one event on a thread of its own and returns at once; nothing is sent once a
  // terminal event was delivered.
  void SendEvent(int id, const nlohmann::json& extra);
  // Blocks until no event of this package is in flight, however long that takes.
  void WaitForEvents();
  // The same, up to `deadline`; true when no event is in flight. One deadline for all packages
  // bounds a close sequence; events still running then are left to their threads.
  bool WaitForEventsUntil(std::chrono::steady_clock::time_point deadline);
  bool EventsClosed() const;
  // The events of every package in the process, dropped ones included, up to `deadline`; true
  // when none is in flight.
  static bool WaitForAllEventsUntil(std::chrono::steady_clock::time_point deadline);

  // Fetches the offer picture's bytes; `done` runs when finished, on the download thread (or at
  // once for the main product). False when no download could be started: `done` is then
  // never called and the caller decides what follows.
  [[nodiscard]] bool DownloadImage(const std::function<void()>& done);
  // UI thread only: turns the fetched bytes into `m_image` (once); true when there is a picture.
  bool DecodeImage();
  std::wstring GetDownloadUrl() const;
  std::wstring GetInstallerArgs() const;
  bool WriteNoShowMarker();

  // Identity and texts (UTF-8).
  SignedRequest m_request;
  bool m_isMainProduct = false;
  std::string m_displayName;
  std::string m_offerId;
  std::string m_adToken;
  std::string m_trackingCode;
  std::string m_imagePath;
  std::string m_downloadUrl;
  std::string m_installerArgs;
  std::string m_privacyUrl;
  std::string m_termsUrl;
  std::string m_sha256;  // "sha256": what the installer's SHA-256 must be (lower-case hex); empty: anything
  int m_index = 0;
  nlohmann::json m_eventTemplate;
  // Made, drawn and freed on the UI thread only (see DecodeImage).
  std::shared_ptr<Gdiplus::Bitmap> m_image;
  ParameterTable m_parameters;

  // Eligibility parameters.
  std::atomic<int> m_vertical{0};  // -1: a package without a vertical
  bool m_exclusive = false;
  std::uint64_t m_minDiskMB = 0;
  std::uint64_t m_minRamMB = 0;
  std::uint64_t m_minCpuMHz = 0;
  int m_minOsVersion = 0;
  std::string m_minProgramVersion;
  bool m_requires64BitOs = false;
  bool m_requiresChrome = false;
  bool m_requiresNoChrome = false;
  bool m_checkIeVersion = false;
  std::vector<std::wstring> m_filesMustBeAbsent;
  std::vector<std::wstring> m_filesOneMustExist;
  std::vector<std::string> m_blockingProcesses;
  std::vector<std::wstring> m_keysMustBeAbsent;
  std::vector<std::wstring> m_keysOneMustExist;
  std::vector<std::wstring> m_valuesMustBeAbsent;
  std::vector<std::wstring> m_valueDataMustNotMatch;
  std::vector<std::wstring> m_excludedApps;
  std::vector<std::wstring> m_requiredApps;
  std::vector<UninstallTimestampCheck> m_uninstallChecks;

  PnSettings m_pn;
  FlowSettings m_flow;

 private:
  // Event bookkeeping shared with the event threads, so a thread finishing its last step never
  // touches a package that is being destroyed.
  struct EventState {
    std::mutex m_mutex;
    std::condition_variable m_eventsIdle;
    int m_pendingEvents = 0;
    std::atomic<bool> m_eventsClosed{false};
  };
  static void RunEvent(std::shared_ptr<EventState> state, int id, nlohmann::json payload, HeaderList headers,
                       std::wstring url) noexcept;

  void ReadNotificationBlock(const nlohmann::json& ps);
  void ReadEligibility(const nlohmann::json& ps);

  std::shared_ptr<EventState> m_events = std::make_shared<EventState>();

  // The fetched picture bytes, handed from the download thread to the UI thread.
  struct ImageBytes {
    std::mutex m_mutex;
    std::vector<char> m_bytes;
  };
  std::shared_ptr<ImageBytes> m_imageBytes = std::make_shared<ImageBytes>();
};

// The no-show marker's date: local date 180 days after `now`, as the number YYYYMMDD.
DWORD NoShowMarkerDate(const FILETIME& now);
