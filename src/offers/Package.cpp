#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "offers/NoShowMarker.h"
#include "offers/OfferReader.h"
#include "win32/Strings.h"

using nlohmann::json;

std::shared_ptr<Package> Package::Offer(ConfigurationManager& config, const json& offer, int index) {
  return std::make_shared<Package>(config, offer, index);
}

std::shared_ptr<Package> Package::MainProduct(ConfigurationManager& config, const ProductIdentity& identity) {
  return std::make_shared<Package>(config, identity);
}

Package::Package(ConfigurationManager& config, const json& offer, int index)
    : m_request(config), m_index(index), m_eventsUrl(config.eventsUrl), m_offerFilesBaseUrl(config.offerFilesBaseUrl) {
  ReadOffer(*this, offer, config);
  BuildEventTemplate();
}

Package::Package(ConfigurationManager& config, const ProductIdentity& identity)
    : m_request(config), m_isMainProduct(true), m_eventsUrl(config.eventsUrl) {
  SetIdentity(identity);
  BuildEventTemplate();
}

void Package::SetIdentity(const ProductIdentity& identity) {
  m_offerId = win32::WideToUtf8(identity.offerId);
  m_adToken = win32::WideToUtf8(identity.adToken);
  m_displayName = win32::WideToUtf8(identity.displayName);
  m_trackingCode = win32::WideToUtf8(identity.trackingCode);
}

void Package::Reinitialize(ConfigurationManager& config, const ProductIdentity& identity) {
  m_request = SignedRequest(config);
  m_isMainProduct = true;
  SetIdentity(identity);
  m_index = 0;
  BuildEventTemplate();
}

void Package::BuildEventTemplate() {
  config::JsonFields eventTemplate = m_request.payload;
  if (m_isMainProduct) {
    eventTemplate.Set("5", m_request.payload.Text("22"));
    eventTemplate.SetNumber("10", 1);
    eventTemplate.Set("18", "");
  } else {
    eventTemplate.Set("5", m_offerId);
    eventTemplate.SetNumber("10", 2);
    eventTemplate.Set("16", m_trackingCode);
    eventTemplate.Set("17", std::to_string(m_index + 1));
    eventTemplate.Set("18", m_adToken);
  }
  m_eventTemplate = std::move(eventTemplate);
}

void Package::SendEvent(int id, const EventFields& extra) {
  if (m_events.Closed()) return;
  // The payload is fixed now, on the caller's thread; the event thread never reads the package.
  config::JsonFields payload = m_eventTemplate;
  payload.Set("6", std::to_string(id));
  for (const auto& [key, value] : extra) payload.Set(key, value);
  m_events.Send(id, std::move(payload), m_request.headers, m_eventsUrl);
}

std::wstring Package::PictureUrl() const { return m_offerFilesBaseUrl + win32::Widen(m_imagePath, CP_UTF8); }

bool Package::DecodeImage() {
  if (auto image = m_picture.Decode()) m_image = std::move(image);
  return static_cast<bool>(m_image);
}

std::wstring Package::GetDownloadUrl() const { return win32::Widen(m_downloadUrl, CP_UTF8); }

std::wstring Package::GetInstallerArgs() const { return win32::Widen(m_installerArgs, CP_UTF8); }

bool Package::WriteNoShowMarker() const { return ::WriteNoShowMarker(m_pn.noShowMarker); }
