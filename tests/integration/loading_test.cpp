// How a placement gets and keeps a showable ad over time: a retry at once when the network
// comes back, and the pause between ads; through the host's eyes (isReady, the events, the
// reasons). Expiries and a platform made again are the lifecycle explorer's.
#include <gtest/gtest.h>

#include "support/SdkTest.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::test {
namespace {

class LoadingTest : public SdkTest {
 protected:
  LoadingTest() {
    fs::create_directories(assets);
    fs::copy_file(fs::path(ZELVORA_SERVER_ASSETS_DIR) / "sample-banner.png", assets / "banner.png");
  }

  /// One enabled placement "p" with a banner from `ctv`, under `settings`.
  void start(const std::string& ctv, AdSettings settings = {}) {
    sdk().setAdSettings(settings);
    startServer(oneAdCampaign("b1", "banner", {{"ctv", ctv}, {"imp", "{server}/t/imp"}}), assets);
    initializeAndWait("app");
  }
  bool readyAgainCount(std::size_t count) {
    return std::count(delegate->loading.begin(), delegate->loading.end(), "readyAgain:p") ==
           static_cast<long>(count);
  }
  void showAndClose() {
    sdk().showAd(root(), "p");
    runLoop().advance(0.3);
    driver.tap(driver.findById("close"));
    runLoop().advance(0.3);
  }

  fs::path assets = folder.path() / "assets";
};

// A refused file is tried again at once when the network is back, without the clock moving
// (its pause otherwise is the banner load-failure table's and the lifecycle explorer's).
TEST_F(LoadingTest, ARefusedFileIsTriedAgainAtOnceWhenTheNetworkComesBack) {
  start("{server}/refused/1/banner.png");
  ASSERT_TRUE(runUntil([&] { return !delegate->loading.empty(); }));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"failed:p:300"});
  EXPECT_FALSE(sdk().isReady("p"));
  const double failedAt = runLoop().now();
  platform::Application::shared().postNetworkAvailable();
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  EXPECT_LT(runLoop().now() - failedAt, 2);
  EXPECT_TRUE(sdk().isReady("p"));
}

// The pause between ads: not ready and refused within it, ready again (and told) after it.
TEST_F(LoadingTest, ThePauseBetweenAds) {
  start("{server}/assets/banner.png", {.minimumSecondsBetweenAds = 30});
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  showAndClose();
  ASSERT_TRUE(delegate->has("onAdClose:p"));
  EXPECT_FALSE(sdk().isReady("p"));
  sdk().showAd(root(), "p");
  EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
  EXPECT_EQ(delegate->reasons.back().rfind("p:206:", 0), 0u) << delegate->reasons.back();
  EXPECT_TRUE(readyAgainCount(0));
  runLoop().advance(30);
  EXPECT_TRUE(readyAgainCount(1));
  EXPECT_TRUE(sdk().isReady("p"));
}

}  // namespace
}  // namespace zelvora::test
