// Offer pictures fetched below the offer files into their package, and decoded on the UI thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "ServiceControl.h"
#include "config/ConfigurationManager.h"
#include "offers/Package.h"
#include "pages/LoadingPage.h"

using nlohmann::json;

namespace {

class Images : public ::testing::Test {
 protected:
  void SetUp() override { ServiceControl::Reset(); }
};

std::shared_ptr<Package> MakeOffer() {
  const json offer = {{"ad", {{"o", "offer-1"}, {"f", "t"}}}, {"ps", {{"i", "i.png"}, {"dn", "Name"}, {"u", "s.exe"}}}};
  return Package::Offer(*ConfigurationManager::GetInstance(), offer, 0);
}

// A 1 x 1 PNG.
constexpr const char* kPixelPng =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==";

int DownloadAndCountDone(const std::shared_ptr<Package>& package) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  auto finished = std::make_shared<std::promise<void>>();
  auto future = finished->get_future();
  EXPECT_TRUE(FetchOfferPicture(*package, [calls, finished] {
    if (++*calls == 1) finished->set_value();
  }));
  EXPECT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  ::Sleep(200);  // a second call would come right after the first
  package->DecodeImage();
  return calls->load();
}

TEST_F(Images, OfferPictureIsFetchedFromTheOfferFiles) {
  ServiceControl::SetScenario("/f/i.png", json::array({{{"status", 200}, {"body_b64", kPixelPng}}}));
  auto package = MakeOffer();
  EXPECT_EQ(DownloadAndCountDone(package), 1);
  ASSERT_TRUE(package->m_image);
  EXPECT_EQ(ServiceControl::Requests("/f/i.png").size(), 1u);
}

TEST_F(Images, NoBytesMeansNoPictureAndOneDone) {
  ServiceControl::SetScenario("/f/i.png", json::array({{{"status", 200}, {"body", ""}}}));
  auto package = MakeOffer();
  EXPECT_EQ(DownloadAndCountDone(package), 1);
  EXPECT_FALSE(package->m_image);
}

TEST_F(Images, UndecodableBytesMeanNoPicture) {
  ServiceControl::SetScenario("/f/i.png", json::array({{{"status", 200}, {"body", "not an image"}}}));
  auto package = MakeOffer();
  EXPECT_EQ(DownloadAndCountDone(package), 1);
  EXPECT_FALSE(package->m_image);
}

}  // namespace
