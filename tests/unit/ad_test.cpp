#include <algorithm>

#include "RESTClient.h"
#include "adunit/AdUnitFactory.h"
#include "adunit/types/InterstitialVast.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

class AdTest : public SdkTest {
 protected:
  AdTest() { startServer(JSON::object()); }

  std::string url(const std::string& path) const { return server->baseUrl() + path; }

  std::shared_ptr<Ad> makeAd(JSON data, const std::optional<std::string>& placementId = "p1") {
    auto ad = AdUnitFactory::createAdUnit(adObject("a1", "videoVast", std::move(data)));
    if (ad) ad->placementId = placementId;
    return ad;
  }

  /// The targets the server recorded, sorted (beacons travel concurrently).
  std::vector<std::string> targets() const {
    std::vector<std::string> result;
    for (const auto& beacon : server->beacons()) result.push_back(beacon.target);
    std::sort(result.begin(), result.end());
    return result;
  }

  /// Waits until the server recorded `count` beacons. Beacons post nothing to the main
  /// queue, so the run loop is given short slices and the condition checked after each.
  bool waitForBeacons(std::size_t count) {
    for (int slice = 0; slice < 400; ++slice) {
      if (runUntil([&] { return server->beacons().size() >= count; }, 0.05)) return true;
    }
    return false;
  }

  /// Sends a marker beacon and waits for it: anything wrongly sent before it has had its
  /// chance to arrive.
  void flushBeacons() {
    const std::size_t before = server->beacons().size();
    RESTClient::callBeacon(url("/t/marker"));
    ASSERT_TRUE(waitForBeacons(before + 1));
  }
};

using AdConstructionTest = SdkTest;

TEST_F(AdConstructionTest, ReadsTheAdObject) {
  const JSON object = {
      {"adId", 42},
      {"offering", {{"campaign", "c1"}}},
      {"ad", {{"type", "interstitial"}, {"subtype", "videoVast"}, {"data", {{"imp", "x"}}}}}};
  const auto ad = AdUnitFactory::createAdUnit(object);
  ASSERT_TRUE(std::dynamic_pointer_cast<InterstitialVast>(ad));
  EXPECT_EQ(ad->id(), "42");
  EXPECT_EQ(ad->data(), (JSON{{"imp", "x"}}));
  EXPECT_EQ(ad->offering(), (JSON{{"campaign", "c1"}}));
  EXPECT_EQ(ad->format(), AdFormat::videoVast);
  EXPECT_EQ(ad->placementId, std::nullopt);
  EXPECT_EQ(ad->isAppStoreRedirected, std::nullopt);
  EXPECT_EQ(ad->openTime, 0);
  EXPECT_FALSE(ad->isLoaded);

  const auto bare = AdUnitFactory::createAdUnit(
      JSON{{"ad", {{"type", "interstitial"}, {"subtype", "videoVast"}}}});
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->id(), "");
  EXPECT_TRUE(bare->data().is_null());
  EXPECT_TRUE(bare->offering().is_null());
}

TEST_F(AdTest, ImpressionReportsShownAndSendsBothBeacons) {
  const auto ad = makeAd({{"imp", url("/t/imp?ad=a1")}, {"extraImpBeacon", url("/t/extra")}});
  ad->callImpBeacon();
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onAdShown:p1"});
  EXPECT_TRUE(logged("ZelController: onAdShown for placement p1"));
  ASSERT_TRUE(waitForBeacons(2));
  EXPECT_EQ(targets(), (std::vector<std::string>{"/t/extra", "/t/imp?ad=a1"}));
  EXPECT_EQ(server->beacons()[0].method, "GET");
}

TEST_F(AdTest, ImpressionSkipsBeaconsThatAreNotStrings) {
  const auto ad = makeAd({{"imp", 12345}, {"extraImpBeacon", nullptr}});
  ad->callImpBeacon();
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onAdShown:p1"});
  flushBeacons();
  EXPECT_EQ(targets(), std::vector<std::string>{"/t/marker"});

  // Before a placement took the ad in there is no one to report to.
  makeAd({}, std::nullopt)->callImpBeacon();
  EXPECT_EQ(delegate->events.size(), 1u);
}

TEST_F(AdTest, DisplayTimeIsRoundedHalfAwayFromZeroIntoEveryMacro) {
  const auto ad =
      makeAd({{"adCloseBeaconUrl", url("/t/close?l={length}&again={length}&x={LENGTH}")}});
  ad->openTime = 100.25;
  ad->callDisplayTimeBeacon(112.75);
  EXPECT_EQ(ad->openTime, 0);
  ASSERT_TRUE(waitForBeacons(1));
  EXPECT_EQ(targets(), std::vector<std::string>{"/t/close?l=13&again=13&x={LENGTH}"});

  // Not open: nothing.
  ad->callDisplayTimeBeacon(200);
  flushBeacons();
  EXPECT_EQ(targets().size(), 2u);
}

TEST_F(AdTest, ViewControllerEventsTimeTheDisplayOnce) {
  const auto ad = makeAd({{"adCloseBeaconUrl", url("/t/close?length={length}")}});
  ad->onViewControllerAppeared();
  EXPECT_DOUBLE_EQ(ad->openTime, runLoop().wallTime());
  runLoop().advance(4);
  ad->onViewControllerAppeared();  // keeps the first time
  runLoop().advance(3.5);
  ad->onViewControllerSizeChanged();
  ad->onViewControllerDisappeared();
  EXPECT_EQ(ad->openTime, 0);
  ad->onViewControllerDisappeared();  // not open again: no second beacon
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onAdClose:p1", "onAdClose:p1"}));
  ASSERT_TRUE(waitForBeacons(1));
  flushBeacons();
  EXPECT_EQ(targets(), (std::vector<std::string>{"/t/close?length=8", "/t/marker"}));
}

TEST_F(AdTest, WithoutCloseBeaconTheOpenTimeStays) {
  const auto ad = makeAd({{"imp", url("/t/imp")}});
  ad->onViewControllerAppeared();
  const double opened = ad->openTime;
  runLoop().advance(2);
  ad->onViewControllerDisappeared();
  EXPECT_EQ(ad->openTime, opened);
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onAdClose:p1"});
  EXPECT_TRUE(logged("ZelController: onAdClose for placement p1"));
  flushBeacons();
  EXPECT_EQ(targets(), std::vector<std::string>{"/t/marker"});
}

}  // namespace
}  // namespace zelvora::test
