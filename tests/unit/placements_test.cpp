#include "adunit/AdFormat.h"
#include "adunit/AdUnitFactory.h"
#include "adunit/types/InterstitialHouseBanner.h"
#include "adunit/types/InterstitialVast.h"
#include "placement/Placement.h"
#include "placement/PlacementsParser.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

class PlacementsTest : public SdkTest {
 protected:
  std::shared_ptr<Placement> placement(const std::string& id) {
    const auto* found = sdk().placements().find(id);
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

TEST_F(PlacementsTest, ObjectOfPlacementsRegistersInterstitials) {
  PlacementsParser::parseData(JSON{
      {"p1", placementObject("enabled", JSON::array({vast("a1"), vast("a2")}))},
      {"empty", placementObject("enabled", JSON::array())},
      {"noList", {{"status", "enabled"}}},
      {"notAList", {{"status", "enabled"}, {"ads", {{"a", vast("a")}}}}},
      {"rewarded",
       placementObject("enabled",
                       JSON::array({adObject("r", "videoVast", {}, "rewarded"), vast("a3")}))},
      {"interactive", placementObject("enabled", JSON::array({adObject("i", "interactive")}))},
      {"untyped", placementObject("enabled", JSON::array({JSON{{"adId", "u"}}}))},
  });
  EXPECT_EQ(sdk().placements().keys(), std::vector<std::string>{"p1"});
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onNoAds:empty", "onNoAds:noList", "onNoAds:notAList"}));
  EXPECT_TRUE(logged("ZelController: onNoAds for placement empty"));

  const auto p1 = placement("p1");
  EXPECT_EQ(p1->id, "p1");
  EXPECT_EQ(p1->name, "test placement");
  EXPECT_EQ(p1->status, "enabled");
  EXPECT_EQ(p1->data()->at("ads").size(), 2u);
  EXPECT_EQ(adIds("p1"), (std::vector<std::string>{"a1", "a2"}));
  for (const auto& [key, unit] : p1->ads) EXPECT_EQ(unit->placementId, "p1");
  // Only the first ad unit is preloaded, for this placement.
  EXPECT_EQ(p1->ads.front().second->preloadDelegate.lock(), p1);
  EXPECT_TRUE(p1->ads.find("a2")->get()->preloadDelegate.expired());
}

TEST_F(PlacementsTest, ArrayOfPlacementsUsesPositionsAsIds) {
  PlacementsParser::parseData(JSON::array(
      {"just a string", placementObject("enabled", JSON::array({vast("a1")})), nullptr}));
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onNoAds:0", "onNoAds:2"}));
  EXPECT_EQ(sdk().placements().keys(), std::vector<std::string>{"1"});
  EXPECT_EQ(adIds("1"), std::vector<std::string>{"a1"});

  // Anything else holds no placements.
  for (const JSON& other : {JSON("p"), JSON(3), JSON(nullptr)}) PlacementsParser::parseData(other);
  EXPECT_EQ(sdk().placements().size(), 1u);
  EXPECT_EQ(delegate->events.size(), 2u);
}

TEST_F(PlacementsTest, DisabledPlacementIsRegisteredWithoutAdUnits) {
  JSON paused = placementObject("paused", JSON::array({vast("a1")}));
  JSON capitalised = placementObject("Enabled", JSON::array({vast("a1")}));
  JSON numericStatus = {{"name", 7}, {"status", 1}, {"ads", JSON::array({vast("a1")})}};
  PlacementsParser::parseData(
      JSON{{"paused", paused}, {"capitalised", capitalised}, {"numeric", numericStatus}});
  EXPECT_EQ(sdk().placements().size(), 3u);
  EXPECT_TRUE(placement("paused")->ads.empty());
  EXPECT_TRUE(placement("capitalised")->ads.empty());
  EXPECT_EQ(placement("numeric")->status, "1");
  EXPECT_EQ(placement("numeric")->name, "7");
  EXPECT_TRUE(delegate->events.empty());
}

TEST_F(PlacementsTest, AdUnitsAreKeyedByAdIdAndTheLaterDuplicateWins) {
  JSON noId = vast("", {{"n", 4}});
  noId.erase("adId");
  PlacementsParser::parseData(JSON{
      {"p1",
       placementObject("enabled", JSON::array({vast("a1", {{"n", 1}}), vast("a2", {{"n", 2}}),
                                               adObject("h", "html"), vast("a1", {{"n", 3}}), noId,
                                               adObject("r", "videoVast", {}, "rewarded")}))},
      {"unsupported", placementObject("enabled", JSON::array({adObject("h", "html")}))},
  });
  EXPECT_EQ(adIds("p1"), (std::vector<std::string>{"a1", "a2", ""}));
  EXPECT_EQ(placement("p1")->ads.find("a1")->get()->data(), (JSON{{"n", 3}}));
  // The first key's unit is the one preloaded, and it is the one that stays.
  EXPECT_FALSE(placement("p1")->ads.front().second->preloadDelegate.expired());
  // Every ad rejected: registered, silent, empty.
  EXPECT_TRUE(placement("unsupported")->ads.empty());
  EXPECT_TRUE(delegate->events.empty());
}

TEST_F(PlacementsTest, LaterPlacementReplacesOneWithTheSameId) {
  PlacementsParser::parseData(JSON{{"p1", placementObject("enabled", JSON::array({vast("old")}))}});
  const std::weak_ptr<Placement> old = placement("p1");
  PlacementsParser::parseData(JSON{{"p1", placementObject("enabled", JSON::array({vast("new")}))}});
  EXPECT_TRUE(old.expired());
  EXPECT_EQ(adIds("p1"), std::vector<std::string>{"new"});
}

TEST_F(PlacementsTest, LoadedAdReportsReadyForItsPlacement) {
  PlacementsParser::parseData(JSON{{"p9", placementObject("enabled", JSON::array({vast("a1")}))}});
  // The videoVast unit never loads by itself: play the part of a format that does.
  placement("p9")->ads.front().second->preloadDelegate.lock()->onAdLoaded();
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onAdReady:p9"});
  EXPECT_TRUE(logged("ZelController: onAdReady for placement p9"));
}

TEST_F(PlacementsTest, FactoryBuildsOnlyExactInterstitialFormats) {
  EXPECT_TRUE(std::dynamic_pointer_cast<InterstitialVast>(
      AdUnitFactory::createAdUnit(adObject("a", "videoVast"))));
  const auto banner = std::dynamic_pointer_cast<InterstitialHouseBanner>(
      AdUnitFactory::createAdUnit(adObject("b", "banner")));
  ASSERT_TRUE(banner);
  EXPECT_FALSE(banner->shouldShowAdAfterPreload);
  EXPECT_EQ(banner->banner->preloadDelegate.lock(),
            std::static_pointer_cast<BannerPreloadDelegate>(banner));
  EXPECT_EQ(banner->placementId, std::nullopt);
  // Video and HTML ad units come later; until then their ads are skipped.
  for (const char* subtype : {"video", "html", "jsTag", "mraidTag", "VideoVast", "videovast",
                              "Banner", "", "interactive"}) {
    EXPECT_EQ(AdUnitFactory::createAdUnit(adObject("a", subtype)), nullptr) << subtype;
  }
  for (const char* type : {"Interstitial", "INTERSTITIAL", "rewarded", ""})
    EXPECT_EQ(AdUnitFactory::createAdUnit(adObject("a", "videoVast", {}, type)), nullptr) << type;
  EXPECT_EQ(AdUnitFactory::createAdUnit(JSON{{"ad", {{"subtype", "videoVast"}}}}), nullptr);
  EXPECT_EQ(AdUnitFactory::createAdUnit(JSON("not an object")), nullptr);

  for (AdFormat format : {AdFormat::video, AdFormat::videoVast, AdFormat::banner, AdFormat::html,
                          AdFormat::jsTag, AdFormat::mraidTag})
    EXPECT_EQ(adFormatFromString(rawValue(format)), format);
  EXPECT_EQ(rawValue(AdFormat::mraidTag), "mraidTag");
  EXPECT_EQ(adFormatFromString("Banner"), std::nullopt);
  EXPECT_EQ(adFormatFromString(""), std::nullopt);
}

TEST_F(PlacementsTest, TriggerPlacementEventLogsAndCallsTheDelegate) {
  const std::pair<Event, std::string> cases[] = {
      {Event::noAds, "onNoAds"},     {Event::adReady, "onAdReady"},
      {Event::adShown, "onAdShown"}, {Event::adFailedToShow, "onAdFailedToShow"},
      {Event::adClose, "onAdClose"}, {Event::adClick, "onAdClick"}};
  for (const auto& [event, name] : cases) {
    sdk().triggerPlacementEvent(event, "1234");
    EXPECT_EQ(lines.back(), "ZelController: " + name + " for placement 1234");
    EXPECT_EQ(delegate->events.back(), name + ":1234");
  }
  EXPECT_EQ(delegate->events.size(), 6u);

  sdk().triggerPlacementEvent(Event::onInit, "p1");
  EXPECT_EQ(lines.back(), "ZelController: onInit for placement p1");
  sdk().triggerPlacementEvent(Event::noAds, "");
  EXPECT_EQ(lines.back(), "ZelController: onNoAds for placement ");
  sdk().triggerPlacementEvent(Event::adClick, "p1");
  sdk().triggerPlacementEvent(Event::adClick, "p1");  // no de-duplication
  // The id reaches the delegate unchanged; the trace stays one line.
  sdk().triggerPlacementEvent(Event::adClose, "two\nlines");
  EXPECT_EQ(lines.back(), "ZelController: onAdClose for placement two lines");
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onNoAds:1234", "onAdReady:1234", "onAdShown:1234",
                                      "onAdFailedToShow:1234", "onAdClose:1234", "onAdClick:1234",
                                      "onNoAds:", "onAdClick:p1", "onAdClick:p1",
                                      "onAdClose:two\nlines"}));

  // A released delegate: the line is still written, nothing is called.
  delegate.reset();
  EXPECT_EQ(sdk().eventDelegate(), nullptr);
  sdk().triggerPlacementEvent(Event::adFailedToShow, "p1");
  EXPECT_EQ(lines.back(), "ZelController: onAdFailedToShow for placement p1");
}

TEST_F(PlacementsTest, EmulatedIpGoesOnlyIntoExistingAdditionsObject) {
  sdk().addEmulatedIp("10.0.0.1");
  EXPECT_EQ(sdk().additions(), std::nullopt);
  sdk().setAdditions(JSON::array());
  sdk().addEmulatedIp("10.0.0.1");
  EXPECT_EQ(sdk().additions(), JSON::array());
  sdk().setAdditions(JSON{{"other", 1}});
  sdk().addEmulatedIp("10.0.0.1");
  sdk().addEmulatedIp("10.0.0.2");
  EXPECT_EQ(sdk().additions(), (JSON{{"other", 1}, {"emulatedIp", "10.0.0.2"}}));
}

}  // namespace
}  // namespace zelvora::test
