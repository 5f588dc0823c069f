// Plain HTML ads through the SDK and the reference server: readiness without network, the
// interstitial that comes on screen with its loaded page, clicks, script dialogs, closing and
// JavaScript settings.
#include "html/HtmlAdTest.h"

namespace zelvora::test {
namespace {

using namespace platform;

TEST_F(HtmlAdTest, ReadyAtOnceAndShownOnceItsPageLoaded) {
  initializeWith(plainData());
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onAdReady:p", "onInit:[p]"}));
  EXPECT_TRUE(driver.allWebViews().empty()) << "nothing is rendered before the ad is shown";

  sdk().showAd(root(), "p");
  runLoop().advance(1);
  const auto web = ad()->webView;
  ASSERT_TRUE(web);
  EXPECT_FALSE(onScreen()) << "presented before its page loaded";
  ASSERT_EQ(web->journal().size(), 1u);
  EXPECT_EQ(web->journal()[0].text, plainData()["markup"]);
  EXPECT_EQ(web->journal()[0].baseUrl, std::nullopt);
  EXPECT_TRUE(web->configuration().preferences.javaScriptEnabled);
  EXPECT_TRUE(web->configuration().userContentController->userScripts().empty());

  driver.finishLoading(web);
  EXPECT_FALSE(delegate->has("onAdShown:p")) << "impression before the interstitial appeared";
  runLoop().advance(0.3);
  EXPECT_TRUE(onScreen());
  EXPECT_TRUE(delegate->has("onAdShown:p"));
  EXPECT_EQ(web->frameInRoot(), (Rect{25, 45, 364, 806}));
  sdk().showAd(root(), "p");
  EXPECT_EQ(ad()->webView, web) << "a second showAd replaced the shown page";

  // Neither the markup's own address nor a local file is a click; any other address is.
  driver.startNavigation(web, "about:blank");
  driver.startNavigation(web, "file:///etc/hosts");
  EXPECT_FALSE(delegate->has("onAdClick:p"));
  driver.startNavigation(web, "https://example.com/landing");
  EXPECT_TRUE(delegate->has("onAdClick:p"));
  const auto landing =
      std::dynamic_pointer_cast<platform::WebView>(driver.findById("click-through"));
  ASSERT_TRUE(landing);
  EXPECT_EQ(landing->url(), "https://example.com/landing");
  driver.tap(driver.findByTitle("Go Back"));
  runLoop().advance(0.3);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");

  // A second showing builds a new web view; the close button blanks it.
  show();
  const auto second = ad()->webView;
  EXPECT_NE(second, web);
  driver.finishLoading(second);
  runLoop().advance(3);
  EXPECT_EQ(second->frameInRoot(), (Rect{25, 45, 364, 806}));
  driver.tap(driver.findById("close"));
  runLoop().advance(0.3);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(second->loadedRequests().back().url, "about:blank");
  expectBeacons(
      {"/t/imp?ad=h", "/t/click", "/t/close?length=0", "/t/imp?ad=h", "/t/close?length=3"});
}

// A page that does not load in time fails its showing, and is blanked: when it navigates
// later it is no click and no creative giving up; the ad is shown normally next time.
TEST_F(HtmlAdTest, PageThatDoesNotLoadInTimeFailsItsShowing) {
  initializeWith(plainData());
  sdk().showAd(root(), "p");
  const auto stuck = ad()->webView;
  runLoop().advance(14.9);
  EXPECT_FALSE(delegate->has("onAdFailedToShow:p"));
  runLoop().advance(0.2);
  EXPECT_EQ(delegate->reasons, std::vector<std::string>{"p:208:the page did not load in time"});
  EXPECT_FALSE(root()->presentedViewController());
  EXPECT_EQ(stuck->journal().back().text, "about:blank");
  driver.startNavigation(stuck, "https://example.com/late");
  EXPECT_FALSE(delegate->has("onAdClick:p"));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"readyAgain:p"});
  show();
  driver.finishLoading(ad()->webView);
  runLoop().advance(0.3);
  EXPECT_TRUE(onScreen());
}

TEST_F(HtmlAdTest, DialogsAreAnsweredAtOnce) {
  initializeWith(plainData());
  show();
  const auto web = ad()->webView;
  EXPECT_TRUE(driver.alert(web, "hello"));
  EXPECT_TRUE(logged("js - hello"));
  EXPECT_EQ(driver.prompt(web, "Your name?", "someone"),
            std::optional<std::optional<std::string>>(std::optional<std::string>()));
}

TEST_F(HtmlAdTest, WithoutMarkupShowingIsRefused) {
  JSON data = plainData();
  data["markup"] = 42;
  initializeWith(data);
  sdk().showAd(root(), "p");
  runLoop().advance(1);
  EXPECT_FALSE(onScreen());
  EXPECT_TRUE(logged("HTML ad has no markup in placement p"));
  EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
}

// "jsEnabled" decides for plain HTML ads only; an MRAID ad always runs scripts.
TEST_F(HtmlAdTest, JavaScriptSettings) {
  const std::pair<JSON, bool> cases[] = {
      {JSON::object(), true}, {{{"jsEnabled", false}}, false}, {{{"jsEnabled", true}}, true}};
  for (const auto& [extra, enabled] : cases) {
    JSON data = plainData();
    data.update(extra);
    auto plain = std::make_shared<InterstitialHtml>(adObject("h", "html", data));
    plain->configureWebView();
    EXPECT_EQ(plain->webView->configuration().preferences.javaScriptEnabled, enabled) << extra;
  }
  JSON data = mraidData();
  data["jsEnabled"] = false;
  auto mraid = std::make_shared<InterstitialHtml>(adObject("h", "mraidTag", data));
  mraid->configureWebView();
  const auto& web = *mraid->webView;
  EXPECT_TRUE(web.configuration().preferences.javaScriptEnabled);
  EXPECT_TRUE(web.configuration().allowsInlineMediaPlayback);
  EXPECT_FALSE(web.isOpaque);
  EXPECT_FALSE(web.scrollView.bounces);
  // The scripts' texts are the page contract's (fixtures); the viewport comes once parsed.
  const auto& userScripts = web.configuration().userContentController->userScripts();
  ASSERT_EQ(userScripts.size(), 2u);
  EXPECT_EQ(userScripts[1].injectionTime, UserScriptInjectionTime::atDocumentEnd);
}

}  // namespace
}  // namespace zelvora::test
