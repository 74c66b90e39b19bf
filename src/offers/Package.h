#pragma once
// The main product or one partner offer: texts and URLs for the pages, eligibility parameters,
// flow settings and the parameter table for {key} placeholders. Reading the document
// (OfferReader), sending events (EventSender), the picture (OfferPicture) and the no-show
// marker (NoShowMarker) each live in a unit of their own. Always shared, never copied.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/JsonFields.h"
#include "config/SignedRequest.h"
#include "offers/EventSender.h"
#include "offers/OfferPicture.h"
#include "offers/PackageSettings.h"
#include "offers/ParameterTable.h"

class ConfigurationManager;
namespace Gdiplus {
class Bitmap;
}

enum EventId : int {
  EVENT_FAILED = -1,
  EVENT_STARTED = 1,
  EVENT_NOT_SHOWN = 2,
  EVENT_FINISHED = 3,
  EVENT_DECLINED = 4,
  EVENT_CLOSED = 5,
};

// How the main product appears in its events.
struct ProductIdentity {
  std::wstring offerId;
  std::wstring adToken;
  std::wstring displayName;
  std::wstring trackingCode;
};

class Package {
 public:
  // An offer object of the configuration document, at `index` in the offer list. Raises the JSON
  // library's out_of_range for a missing required key and type_error for a key of the wrong type.
  static std::shared_ptr<Package> Offer(ConfigurationManager& config, const nlohmann::json& offer, int index);
  static std::shared_ptr<Package> MainProduct(ConfigurationManager& config, const ProductIdentity& identity);

  Package(ConfigurationManager& config, const nlohmann::json& offer, int index);
  Package(ConfigurationManager& config, const ProductIdentity& identity);
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // The main product once the document is known: its event template is made anew.
  void Reinitialize(ConfigurationManager& config, const ProductIdentity& identity);
  void BuildEventTemplate();
  std::string ExpandPlaceholders(const std::string& text) const { return m_parameters.Expand(text); }

  // The event, from the template, on a thread of its own; returns at once. Dropping the package
  // never waits: the wizard's exit waits for every event at once (WaitForAllEventsUntil).
  void SendEvent(int id, const EventFields& extra);
  void WaitForEvents() { m_events.Wait(); }
  bool WaitForEventsUntil(std::chrono::steady_clock::time_point deadline) { return m_events.WaitUntil(deadline); }
  bool EventsClosed() const { return m_events.Closed(); }
  static bool WaitForAllEventsUntil(std::chrono::steady_clock::time_point deadline) {
    return EventSender::WaitForAllUntil(deadline);
  }

  // Where the offer's picture is fetched from (below the offer files), and where it goes.
  std::wstring PictureUrl() const;
  std::shared_ptr<OfferPicture::Slot> PictureSlot() const { return m_picture.GetSlot(); }
  // UI thread only: turns the fetched bytes into `m_image` (once); true when there is a picture.
  bool DecodeImage();
  std::wstring GetDownloadUrl() const;
  std::wstring GetInstallerArgs() const;
  bool WriteNoShowMarker() const;

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
  config::JsonFields m_eventTemplate;
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
  void SetIdentity(const ProductIdentity& identity);

  std::wstring m_eventsUrl;
  std::wstring m_offerFilesBaseUrl;
  EventSender m_events;
  OfferPicture m_picture;
};
