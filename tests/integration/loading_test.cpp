// How a placement gets and keeps a showable ad over time: retries that wait for their pause
// unless the network comes back, and the pause between ads; through the host's eyes (isReady,
// the events, the reasons). Expiries and a platform made again are the lifecycle explorer's.
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

// A refused file is tried again no sooner than its pause, or at once when the network is back.
class RetryTest : public LoadingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RetryTest, WaitsForItsPauseUnlessTheNetworkComesBack) {
  const bool networkBack = GetParam();
  start("{server}/refused/1/banner.png");
  ASSERT_TRUE(runUntil([&] { return !delegate->loading.empty(); }));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"failed:p:300"});
  EXPECT_FALSE(sdk().isReady("p"));
  const double failedAt = runLoop().now();
  // Back at once without the clock moving; else only once it moved past the pause.
  const auto ready = [&] { return delegate->has("onAdReady:p"); };
  if (networkBack) platform::Application::shared().postNetworkAvailable();
  ASSERT_TRUE(networkBack ? runUntil(ready) : advanceUntil(ready, 30));
  EXPECT_EQ(runLoop().now() - failedAt >= 2, !networkBack);
  EXPECT_TRUE(sdk().isReady("p"));
}

INSTANTIATE_TEST_SUITE_P(Network, RetryTest, ::testing::Bool());

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
