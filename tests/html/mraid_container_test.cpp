// What an MRAID creative measures itself by: its exposure under whatever covers it, and the
// orientation it asks for. The scripts of a turn, of the creative's player coming and going
// (no "sizeChange") and of the background are the page contract's (rotation and video fixtures).
#include "adunit/types/mraid/MraidExposure.h"
#include "html/HtmlAdTest.h"
#include "zelvora/platform/media/PlayerViewController.h"

namespace zelvora::test {
namespace {

using namespace platform;

const std::string kSeen =
    "mraidController.triggerEvent(\"exposureChange\", [100, \"{\\n  \\\"x\\\": 0,\\n  "
    "\\\"y\\\": 0,\\n  \\\"width\\\": 364,\\n  \\\"height\\\": 806\\n}\"]);";
const std::string kUnseen =
    "mraidController.triggerEvent(\"exposureChange\", [0, \"null\", \"null\"]);";
const std::vector<std::string> kHides = {"window.mraidData.isViewable = false;", kUnseen};
const std::vector<std::string> kShows = {"window.mraidData.isViewable = true;", kSeen};

class MraidContainerTest : public HtmlAdTest {
 protected:
  /// What the page was told since the last call.
  std::vector<std::string> told() {
    const auto web = ad()->webView;
    if (web != watched_) told_ = 0, watched_ = web;
    auto found = scripts(web, told_);
    told_ = web->journal().size();
    return found;
  }
  void showAndForget() {
    show();
    told();
  }

 private:
  std::shared_ptr<platform::WebView> watched_;
  std::size_t told_ = 0;
};

// Every change of what covers the ad is told once, with viewability to match; the second
// video and a layout that changes nothing tell nothing new.
TEST_F(MraidContainerTest, ExposureFollowsWhatCoversTheAd) {
  initializeReadyMraid();
  showAndForget();
  const auto web = ad()->webView;
  for (int round = 0; round < 2; ++round) {
    driver.postMessage(web, "mraidHostBridge",
                       {{"name", "playVideo"}, {"params", "https://x.test/clip.webm"}});
    runLoop().advance(0.3);
    EXPECT_EQ(told(), kHides) << "under the creative's player, round " << round;
    ASSERT_TRUE(driver.tap(driver.findById("player-done")));
    runLoop().advance(0.3);
    EXPECT_EQ(told(), kShows) << "the player went, round " << round;
  }
  Application::shared().keyWindow()->setNeedsLayout();
  driver.settle();
  EXPECT_TRUE(told().empty());

  Application::shared().keyWindow()->setVisible(false);
  EXPECT_EQ(told(), kHides) << "in a hidden window";
  Application::shared().keyWindow()->setVisible(true);
  EXPECT_EQ(told(), kShows);

  driver.startNavigation(web, "https://example.com/landing");
  ASSERT_TRUE(driver.findById("click-through"));
  EXPECT_EQ(told(), kHides) << "under the click-through";
}

TEST_F(MraidContainerTest, ExposureOfAPartlyCoveredPartlyOffScreenView) {
  auto container = View::make({0, 0, 100, 100});
  container->clipsToBounds = true;
  auto ad = View::make({-10, 50, 40, 100});  // 40 x 100, a quarter of it off the left edge
  container->addSubview(ad);
  EXPECT_EQ(measureExposure(*ad, {0, 0, 200, 200}, {}),
            (MraidExposure{37.5, Rect{10, 0, 30, 50}, {}}));
  const auto covered = measureExposure(*ad, {0, 0, 200, 200},
                                       {Rect{0, 80, 300, 300}, Rect{5, 90, 10, 5}, {50, 0, 5, 5}});
  EXPECT_EQ(covered, (MraidExposure{22.5, Rect{10, 0, 30, 50}, {Rect{10, 30, 30, 20}}}));
  EXPECT_EQ(measureExposure(*ad, {0, 0, 200, 200}, {Rect{0, 0, 200, 200}}), MraidExposure{});
}

// A lock asked for while shown turns the interface and holds it; "none" lets it follow the
// device again; a lock asked for while loading is there when the ad is shown.
TEST_F(MraidContainerTest, OrientationPropertiesAreHonoured) {
  initializeReadyMraid();
  showAndForget();
  const auto lock = [&](const JSON& properties) {
    driver.postMessage(ad()->webView, "mraidHostBridge",
                       {{"name", "setOrientationProperties"}, {"params", properties}});
  };
  lock({{"allowOrientationChange", false}, {"forceOrientation", "landscape"}});
  EXPECT_TRUE(isLandscape(Application::shared().statusBarOrientation()));
  told();
  EXPECT_FALSE(driver.rotate(InterfaceOrientation::portrait)) << "held in landscape";

  lock({{"allowOrientationChange", true}, {"forceOrientation", "none"}});
  EXPECT_NE(told().at(1).find("\"locked\": false"), std::string::npos);
  EXPECT_TRUE(driver.rotate(InterfaceOrientation::portrait));
  lock({{"forceOrientation", "sideways"}});
  lock(JSON("landscape"));
  EXPECT_EQ(logCount("MRAID setOrientationProperties ignored"), 2);
  EXPECT_TRUE(told().size() == 3u) << "the turn only";

  driver.tap(driver.findById("close"));
  runLoop().advance(0.3);
  driver.finishLoading(ad()->webView);
  lock({{"allowOrientationChange", false}, {"forceOrientation", "landscape"}});
  EXPECT_TRUE(isPortrait(Application::shared().statusBarOrientation())) << "not shown yet";
  told();
  show();
  EXPECT_TRUE(isLandscape(Application::shared().statusBarOrientation()));
  const auto presentation = told().at(0);
  EXPECT_NE(presentation.find("\"orientation\": \"landscape\",\n  \"locked\": true"),
            std::string::npos);
  EXPECT_NE(presentation.find("screenSize = {\n  \"width\": 896"), std::string::npos);
}

}  // namespace
}  // namespace zelvora::test
