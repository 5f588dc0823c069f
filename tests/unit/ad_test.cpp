#include "adunit/AdUnitFactory.h"
#include "support/SdkTest.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::test {
namespace {

// The beacons of an ad unit, as the reference server receives them.
class AdTest : public SdkTest {
 protected:
  AdTest() { startServer(JSON::object()); }

  std::shared_ptr<Ad> makeAd(const JSON& data) {
    auto ad = AdUnitFactory::createAdUnit(adObject("a1", "banner", data));
    ad->placementId = "p1";
    return ad;
  }
  std::string url(const std::string& path) const { return server->baseUrl() + path; }
};

TEST_F(AdTest, ImpressionReportsShownAndSendsTheBeaconsThatAreStrings) {
  makeAd({{"imp", url("/t/imp?ad=a1")}, {"extraImpBeacon", url("/t/extra")}})->callImpBeacon();
  makeAd({{"imp", 12345}, {"extraImpBeacon", nullptr}})->callImpBeacon();
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onAdShown:p1", "onAdShown:p1"}));
  EXPECT_TRUE(logged("ZelController: onAdShown for placement p1"));
  expectBeacons({"/t/extra", "/t/imp?ad=a1"});
}

// The display time is rounded half away from zero into every {length}; a second
// disappearance sends nothing.
TEST_F(AdTest, DisplayTimeBeacon) {
  const auto ad =
      makeAd({{"adCloseBeaconUrl", url("/t/close?l={length}&again={length}&x={LENGTH}")}});
  ad->openTime = 100.25;
  ad->callDisplayTimeBeacon(112.75);
  EXPECT_FALSE(ad->openTime);

  const auto timed = makeAd({{"adCloseBeaconUrl", url("/t/close?length={length}")}});
  timed->onViewControllerAppeared();
  runLoop().advance(4);
  timed->onViewControllerAppeared();  // keeps the first time
  runLoop().advance(3.5);
  timed->onViewControllerDisappeared();
  timed->onViewControllerDisappeared();
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onAdClose:p1", "onAdClose:p1"}));
  expectBeacons({"/t/close?l=13&again=13&x={LENGTH}", "/t/close?length=8"});
}

TEST_F(AdTest, WithoutCloseBeaconTheOpenTimeStays) {
  const auto ad = makeAd({{"imp", url("/t/imp")}});
  ad->onViewControllerAppeared();
  const auto opened = ad->openTime;
  EXPECT_EQ(opened, runLoop().now());
  runLoop().advance(2);
  ad->onViewControllerDisappeared();
  EXPECT_EQ(ad->openTime, opened);
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onAdClose:p1"});
  expectBeacons({});
}

// The time on screen is the time that passed, whatever the wall clock does meanwhile: set back
// an hour or ahead a day while the ad is up, in sight or while its window is hidden (4 s, 1 s,
// the jump, 1 s, 1 s; hidden for the middle two).
TEST_F(AdTest, DisplayTimeIgnoresWallClockJumps) {
  struct Row {
    double shift;
    bool hiddenAcrossTheShift;
    int expected;
  };
  const auto window = platform::Application::shared().keyWindow();
  std::vector<std::string> expected;
  int index = 0;
  for (const Row& row :
       {Row{-3600, false, 7}, Row{86400, false, 7}, Row{-3600, true, 5}, Row{86400, true, 5}}) {
    const std::string target = "/t/close?row=" + std::to_string(++index) + "&length=";
    const auto ad = makeAd({{"adCloseBeaconUrl", url(target + "{length}")}});
    ad->onViewControllerAppeared();
    runLoop().advance(4);
    if (row.hiddenAcrossTheShift) window->setVisible(false);
    runLoop().advance(1);
    runLoop().shiftWallClock(row.shift);
    runLoop().advance(1);
    window->setVisible(true);
    runLoop().advance(1);
    ad->onViewControllerDisappeared();
    expected.push_back(target + std::to_string(row.expected));
  }
  expectBeacons(expected);
}

}  // namespace
}  // namespace zelvora::test
