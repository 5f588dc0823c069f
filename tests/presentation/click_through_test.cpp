// A tap on the banner: the click beacon, the landing page laid over the interstitial, and how
// its navigation ends (back to the host, or to the system for store addresses).
#include "BannerFixture.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::test {
namespace {

using namespace platform;
using Step = headless::NavigationStep;

const std::string storeUrl = "https://itunes.example.com/app/id42?mt=8";

class ClickThroughTest : public BannerFixture {
 protected:
  void SetUp() override {
    initializeWith(bannerData());
    ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  }

  /// Shows the ad, taps its image and returns the landing page's web view.
  std::shared_ptr<WebView> click(std::shared_ptr<ViewController> host = nullptr) {
    showAndWait(host);
    EXPECT_TRUE(driver.tap(driver.findById("banner")));
    return std::dynamic_pointer_cast<WebView>(driver.findById("click-through"));
  }

  std::vector<std::string>& opened() { return platform_->urlHandler().openedUrls; }
  bool dismissed() const { return platform_->window()->topViewController() == root(); }
  bool loggedRedirect() const {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.rfind("redirect url = ", 0) == 0;
    });
  }
};

TEST_F(ClickThroughTest, OrdinaryPageStaysOverTheAdUntilGoBack) {
  const auto web = click();
  ASSERT_TRUE(web);
  EXPECT_EQ(delegate->events.back(), "onAdClick:p");
  expectBeacons({"/t/click?ad=b1", "/t/imp", "/t/imp2"});

  // Laid over the whole interstitial: the page, a spinner, and "Go Back" on top.
  const auto view = shown()->view();
  ASSERT_EQ(web->superview(), view);
  EXPECT_EQ(web->frame, view->bounds());
  ASSERT_EQ(web->loadedRequests().size(), 1u);
  EXPECT_EQ(web->loadedRequests()[0].url, server->baseUrl() + "/t/click?ad=b1");
  const auto spinner = driver.find<ActivityIndicatorView>();
  ASSERT_TRUE(spinner && spinner->isAnimating());
  const auto goBack = driver.findByTitle("Go Back");
  ASSERT_TRUE(goBack);
  EXPECT_EQ(view->subviews().back(), goBack);

  driver.finishLoading(web);
  EXPECT_FALSE(dismissed());
  EXPECT_TRUE(opened().empty());
  EXPECT_FALSE(loggedRedirect());

  EXPECT_TRUE(driver.tap(goBack));
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(driver.webViews().size(), 0u);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p",
                                                        "onAdClick:p", "onAdClose:p"}));
}

TEST_F(ClickThroughTest, StoreAddressReachedByARedirectGoesToTheSystemWhenTheLoadFails) {
  auto web = click();
  ASSERT_TRUE(web);
  driver.playNavigation(web, {Step::start(), Step::redirect(storeUrl), Step::fail("unsupported")});
  EXPECT_EQ(opened(), std::vector<std::string>{storeUrl});
  EXPECT_TRUE(dismissed());
  EXPECT_FALSE(loggedRedirect());

  // The next click starts afresh: a plain failure opens nothing.
  web = click();
  ASSERT_TRUE(web);
  driver.failLoading(web, "offline");
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(opened().size(), 1u);
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdClose:p"), 2);
}

TEST_F(ClickThroughTest, FinishedLoadOnAStoreAddressIsLoggedAndHandedToTheSystem) {
  auto web = click();
  ASSERT_TRUE(web);
  driver.playNavigation(web,
                        {Step::start(), Step::redirect(storeUrl), Step::commit(), Step::finish()});
  EXPECT_TRUE(logged("redirect url = " + storeUrl));
  EXPECT_EQ(opened(), std::vector<std::string>{storeUrl});
  EXPECT_TRUE(dismissed());

  // A store address the system cannot open is dropped; the ad is dismissed all the same.
  web = click();
  ASSERT_TRUE(web);
  driver.playNavigation(
      web, {Step::start(), Step::redirect("unknown-itunes:id42"), Step::commit(), Step::finish()});
  EXPECT_TRUE(logged("redirect url = unknown-itunes:id42"));
  EXPECT_EQ(opened().size(), 1u);
  EXPECT_TRUE(dismissed());
}

TEST_F(ClickThroughTest, DismissalIsSkippedWhenTheHostIsGone) {
  auto host = std::make_shared<ViewController>();
  root()->present(host, false);
  driver.settle();
  const auto web = click(host);
  ASSERT_TRUE(web);

  root()->dismiss(false);
  driver.settle();
  std::weak_ptr<ViewController> watch = host;
  host.reset();
  ASSERT_TRUE(watch.expired());

  driver.playNavigation(web,
                        {Step::start(), Step::redirect(storeUrl), Step::commit(), Step::finish()});
  EXPECT_EQ(opened(), std::vector<std::string>{storeUrl});
  ad()->dismissRedirectView();
  driver.settle();
  EXPECT_EQ(root()->presentedViewController(), nullptr);
}

/// Banner ads built outside a placement, one per kind of unusable click address.
using BadClickTest = BannerFixture;

TEST_F(BadClickTest, UnusableClickAddressesOpenNoLandingPage) {
  startReferenceServer();
  // A missing or non-string address is no click at all; one that does not parse is reported.
  const std::vector<std::pair<JSON, bool>> cases = {{JSON(), false},
                                                    {JSON(42), false},
                                                    {JSON{{"url", "{server}/t/click"}}, false},
                                                    {JSON("{server}/x/<the shop>"), true}};
  for (const auto& [clk, reported] : cases) {
    JSON data = bannerData();
    if (clk.is_null()) {
      data.erase("clk");
    } else {
      data["clk"] = clk;
    }
    const auto ad = makeAd(data);
    ad->render(root());
    ad->preload();
    ASSERT_TRUE(runUntil([&] { return ad->isLoaded; }));
    runLoop().advance(0.3);
    delegate->events.clear();
    ASSERT_TRUE(driver.tap(driver.findById("banner")));
    EXPECT_EQ(hasEvent("onAdClick:p"), reported) << clk;
    EXPECT_TRUE(driver.webViews().empty()) << clk;
    EXPECT_TRUE(shown()) << clk;
    driver.tap(driver.findById("close"));
    runLoop().advance(0.3);
  }
  EXPECT_TRUE(platform_->urlHandler().openedUrls.empty());
  flushBeacons();
  for (const auto& target : beacons()) EXPECT_EQ(target.rfind("/t/click", 0), std::string::npos);
}

}  // namespace
}  // namespace zelvora::test
