#include "ControllerAccess.h"
#include "adunit/AdUnitFactory.h"
#include "adunit/types/InterstitialHouseBanner.h"
#include "adunit/types/InterstitialHouseVideo.h"
#include "adunit/types/InterstitialHtml.h"
#include "adunit/types/InterstitialVast.h"
#include "placement/Placement.h"
#include "placement/PlacementsParser.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

class PlacementsTest : public SdkTest {
 protected:
  std::shared_ptr<Placement> placement(const std::string& id) {
    const auto* found = internal::ControllerAccess::placements().find(id);
    return found ? *found : nullptr;
  }
  std::vector<std::string> adIds(const std::string& placementId) {
    std::vector<std::string> ids;
    for (const auto& [key, unit] : placement(placementId)->ads) ids.push_back(key);
    return ids;
  }
};

JSON vast(const std::string& adId, JSON data = JSON::object()) {
  return adObject(adId, "videoVast", std::move(data));
}
JSON enabled(std::vector<JSON> ads) {
  return placementObject("enabled", JSON(std::move(ads)));
}

// Which placements of an object answer are registered, with which ad units, and which one is
// preloaded.
TEST_F(PlacementsTest, ObjectOfPlacements) {
  PlacementsParser::parseData(JSON{
      {"p1", enabled({vast("a1", {{"n", 1}}), vast("a2"), adObject("h", "Html"),
                      vast("a1", {{"n", 3}})})},
      {"empty", placementObject("enabled", JSON::array())},
      {"noList", {{"status", "enabled"}}},
      {"notAList", {{"status", "enabled"}, {"ads", {{"a", vast("a")}}}}},
      {"rewarded", enabled({adObject("r", "videoVast", {}, "rewarded"), vast("a3")})},
      {"interactive", enabled({adObject("i", "interactive")})},
      {"paused", placementObject("paused", JSON::array({vast("a1")}))},
      {"capitalised", placementObject("Enabled", JSON::array({vast("a1")}))},
  });
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onNoAds:empty", "onNoAds:noList", "onNoAds:notAList"}));
  EXPECT_TRUE(logged("ZelController: onNoAds for placement empty"));
  // A first ad that is no interstitial, or an interactive one, drops the placement; a
  // disabled placement is registered without ad units.
  EXPECT_EQ(internal::ControllerAccess::placements().keys(),
            (std::vector<std::string>{"p1", "paused", "capitalised"}));
  EXPECT_TRUE(placement("paused")->ads.empty());
  EXPECT_TRUE(placement("capitalised")->ads.empty());

  // Unsupported ads are skipped; a duplicate ad id keeps the later ad in the first's place.
  const auto p1 = placement("p1");
  EXPECT_EQ(adIds("p1"), (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(p1->ads.find("a1")->get()->data(), (JSON{{"n", 3}}));
  EXPECT_EQ(p1->ads.find("a1")->get()->placementId, "p1");
  // Only the first ad unit is preloaded, for this placement.
  EXPECT_EQ(p1->ads.front().second->preloadDelegate.lock(), p1);
  EXPECT_TRUE(p1->ads.find("a2")->get()->preloadDelegate.expired());
}

// Type and subtype must match exactly, letter case included.
TEST_F(PlacementsTest, FactoryBuildsOnlyExactInterstitialFormats) {
  EXPECT_TRUE(std::dynamic_pointer_cast<InterstitialVast>(
      AdUnitFactory::createAdUnit(adObject("a", "videoVast"))));
  EXPECT_TRUE(std::dynamic_pointer_cast<InterstitialHouseBanner>(
      AdUnitFactory::createAdUnit(adObject("b", "banner"))));
  EXPECT_TRUE(std::dynamic_pointer_cast<InterstitialHouseVideo>(
      AdUnitFactory::createAdUnit(adObject("v", "video"))));
  for (const char* subtype : {"html", "jsTag", "mraidTag"})
    EXPECT_TRUE(std::dynamic_pointer_cast<InterstitialHtml>(
        AdUnitFactory::createAdUnit(adObject("h", subtype))))
        << subtype;
  for (const char* subtype :
       {"Video", "HTML", "jstag", "VideoVast", "videovast", "Banner", "", "interactive"})
    EXPECT_EQ(AdUnitFactory::createAdUnit(adObject("a", subtype)), nullptr) << subtype;
  for (const char* type : {"Interstitial", "INTERSTITIAL", "rewarded", ""})
    EXPECT_EQ(AdUnitFactory::createAdUnit(adObject("a", "videoVast", {}, type)), nullptr) << type;
  EXPECT_EQ(AdUnitFactory::createAdUnit(JSON("not an object")), nullptr);
}

// Every event writes one trace line and reaches the delegate unchanged, while there is one.
TEST_F(PlacementsTest, TriggerPlacementEventLogsAndCallsTheDelegate) {
  const std::pair<Event, std::string> cases[] = {
      {Event::noAds, "onNoAds"},     {Event::adReady, "onAdReady"},
      {Event::adShown, "onAdShown"}, {Event::adFailedToShow, "onAdFailedToShow"},
      {Event::adClose, "onAdClose"}, {Event::adClick, "onAdClick"}};
  for (const auto& [event, name] : cases) {
    internal::ControllerAccess::triggerPlacementEvent(event, "1234");
    EXPECT_EQ(lines.back(), "ZelController: " + name + " for placement 1234");
    EXPECT_EQ(delegate->events.back(), name + ":1234");
  }
  internal::ControllerAccess::triggerPlacementEvent(Event::adClose,
                                                    "two\nlines");  // the trace stays one line
  EXPECT_EQ(lines.back(), "ZelController: onAdClose for placement two lines");
  EXPECT_EQ(delegate->events.back(), "onAdClose:two\nlines");
  EXPECT_EQ(delegate->events.size(), 7u);

  delegate.reset();
  internal::ControllerAccess::triggerPlacementEvent(Event::adFailedToShow, "p1");
  EXPECT_EQ(lines.back(), "ZelController: onAdFailedToShow for placement p1");
}

}  // namespace
}  // namespace zelvora::test

namespace zelvora::test {
namespace {

// A large answer does not hold the host's loop: its own work runs between slices of the
// registration, and onInit comes after the last placement, the events before it in order.
TEST_F(PlacementsTest, LargeAnswerLeavesTheHostsLoopItsTurns) {
  constexpr int kCount = 3000;
  JSON placements = JSON::object();
  for (int i = 0; i < kCount; ++i) {
    const std::string id = std::to_string(i);
    placements[id] = i == 0 || i == kCount - 1
                         ? placementObject("enabled", JSON::array())
                         : enabled({adObject("h" + id, "html", {{"markup", "<p>" + id + "</p>"}})});
  }
  startServer(campaignsFor("app", placements));
  struct Host : RecordingDelegate {
    std::optional<std::size_t> registeredWhenItsTurnCame;
    void onNoAds(const std::string& id) override {
      RecordingDelegate::onNoAds(id);
      if (id != "0") return;
      platform::mainQueue().post(
          [this] { registeredWhenItsTurnCame = internal::ControllerAccess::placements().size(); });
    }
  };
  auto host = std::make_shared<Host>();
  sdk().setEventDelegate(host);
  delegate = host;
  initializeAndWait("app");
  ASSERT_TRUE(host->registeredWhenItsTurnCame);
  EXPECT_LT(*host->registeredWhenItsTurnCame, kCount - 2u)
      << "the host waited for the whole answer";
  EXPECT_EQ(host->events.front(), "onNoAds:0");
  const auto init = std::find_if(host->events.begin(), host->events.end(),
                                 [](const auto& event) { return event.rfind("onInit:", 0) == 0; });
  ASSERT_NE(init, host->events.end());
  EXPECT_EQ(std::count(host->events.begin(), init, "onNoAds:" + std::to_string(kCount - 1)), 1);
  EXPECT_EQ(internal::ControllerAccess::placements().size(), kCount - 2u);
  EXPECT_TRUE(sdk().isReady("1") && sdk().isReady(std::to_string(kCount - 2)));
}

}  // namespace
}  // namespace zelvora::test
