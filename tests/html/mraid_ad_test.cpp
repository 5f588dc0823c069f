// MRAID ads: the preloaded page and what it is told, in order, over a showing; the creative's
// calls through the bridge; the fallback; the reload that keeps the ad ready.
#include "adunit/types/mraid/MraidHelper.h"
#include "html/HtmlAdTest.h"
#include "net/Url.h"
#include "tools/Assets.h"
#include "zelvora/Version.h"
#include "zelvora/platform/media/PlayerViewController.h"

namespace zelvora::test {
namespace {

using namespace platform;

// The scripts each step gives the page are the page contract's fixtures (mraid_page_contract_test);
// these cases check what happens around them.

TEST_F(HtmlAdTest, PreloadedPageGetsTheInitialDataOnce) {
  initializeWith(mraidData(), "mraidTag");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  const auto web = ad()->webView;
  EXPECT_EQ(ad()->currentContainerState, "loading");
  ASSERT_TRUE(Asset::mraidJSPath);
  EXPECT_EQ(web->journal().at(0).baseUrl, fileUrlFromPath(*Asset::mraidJSPath));
  driver.finishLoading(web);
  EXPECT_TRUE(delegate->has("onAdReady:p"));

  const auto& journal = web->journal();
  ASSERT_EQ(journal.size(), 3u);  // the markup, then both user scripts

  // A second page in the same web view (not a click: a local file) gets neither the scripts
  // nor a second readiness.
  driver.loadPage(web, "file:///tmp/next.html");
  EXPECT_EQ(journal.size(), 4u);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdReady:p"}));
  expectBeacons({"/t/imp?ad=h&metric=adLoad"});
}

TEST_F(HtmlAdTest, ShowingTellsThePageBeforeAndAfterItAppears) {
  initializeReadyMraid();
  const auto web = ad()->webView;
  const auto before = web->journal().size();
  sdk().showAd(root(), "p");
  EXPECT_FALSE(root()->presentedViewController()) << "presented before the page was told";
  driver.settle();
  EXPECT_TRUE(root()->presentedViewController());
  runLoop().advance(0.3);
  EXPECT_TRUE(delegate->has("onAdShown:p"));
  EXPECT_EQ(scripts(web, before).size(), 6u);
}

// Every way of closing blanks the page; each time the ad is reloaded in a fresh page and stays
// ready without a second onAdReady.
TEST_F(HtmlAdTest, ClosingWaysAndTheReload) {
  initializeReadyMraid();
  std::vector<std::string> closed;
  for (const std::string way : {"button", "close", "unload", "fallback"}) {
    show();
    const auto web = ad()->webView;
    EXPECT_EQ(web->frameInRoot(), (Rect{25, 45, 364, 806})) << way;
    const auto before = web->journal().size();
    if (way == "button")
      driver.tap(driver.findById("close"));
    else
      EXPECT_TRUE(driver.postMessage(web, "mraidHostBridge", {{"name", way}}));
    runLoop().advance(0.3);
    EXPECT_FALSE(onScreen()) << way;
    // A fallback on screen tells the page what a close does.
    if (way == "close") closed = scripts(web, before);
    if (way == "fallback") {
      EXPECT_EQ(scripts(web, before), closed);
    }
    EXPECT_EQ(web->journal().back().text, "about:blank") << way;
    EXPECT_EQ(delegate->events.back(), "onAdClose:p") << way;

    const auto fresh = ad()->webView;
    ASSERT_NE(fresh, web) << way;
    EXPECT_EQ(ad()->currentContainerState, "loading");
    driver.finishLoading(fresh);
  }
  EXPECT_TRUE(logged("Message received: mraidHostBridge with body: {\"name\":\"close\"}"));
  const std::vector<std::string> expected = {"onInit:[p]", "onAdReady:p"};
  EXPECT_EQ(std::vector<std::string>(delegate->events.begin(), delegate->events.begin() + 2),
            expected);
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdReady:p"), 1);
  EXPECT_EQ(delegate->events.end()[-2], "onNoAds:p") << "the fallback reports no ads, then closes";
  expectBeacons({"/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=fallback", "/t/imp?ad=h",
                 "/t/imp?ad=h", "/t/imp?ad=h", "/t/imp?ad=h", "/t/close?length=0",
                 "/t/close?length=0", "/t/close?length=0", "/t/close?length=0"});
}

TEST_F(HtmlAdTest, FallbackWhileLoadingMeansNoFill) {
  initializeWith(mraidData(), "mraidTag");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  sdk().showAd(root(), "p");
  EXPECT_TRUE(logged("MRAID html ad is not ready yet in placement p"));

  const auto web = ad()->webView;
  driver.postMessage(web, "mraidHostBridge", {{"name", "fallback"}});
  driver.finishLoading(web);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onNoAds:p"}));
  sdk().showAd(root(), "p");
  runLoop().advance(1);
  EXPECT_FALSE(onScreen());
  EXPECT_TRUE(logged("Mraid html ad has no fill in placement p"));
  EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
  EXPECT_EQ(delegate->reasons, (std::vector<std::string>{"p:200:the creative has no fill"}));
}

// Only exact names are calls; "open" tracks the click and hands the address to the system
// without a click event; a call without a usable address is one console line.
TEST_F(HtmlAdTest, BridgeMessages) {
  initializeReadyMraid();
  show();
  const auto web = ad()->webView;
  for (const JSON& body : {JSON{{"name", "Close"}}, JSON{{"name", 5}}, JSON("close"), JSON()})
    driver.postMessage(web, "mraidHostBridge", body);
  EXPECT_EQ(logCount("Message received: mraidHostBridge with body: "), 4);
  EXPECT_TRUE(onScreen());

  driver.postMessage(web, "mraidHostBridge", {{"name", "open"}});
  driver.postMessage(web, "mraidHostBridge", {{"name", "playVideo"}, {"params", "not a url"}});
  EXPECT_EQ(logCount("MRAID "), 2);
  driver.postMessage(web, "mraidHostBridge", {{"name", "open"}, {"params", "https://x.test/"}});
  EXPECT_EQ(platform_->urlHandler().openedUrls(), (std::vector<std::string>{"https://x.test/"}));
  EXPECT_FALSE(delegate->has("onAdClick:p"));

  driver.postMessage(web, "mraidHostBridge",
                     {{"name", "playVideo"}, {"params", "https://x.test/clip.webm"}});
  runLoop().advance(0.3);
  const auto player = std::dynamic_pointer_cast<PlayerViewController>(top());
  ASSERT_TRUE(player);
  EXPECT_EQ(player->player()->currentItem()->url(), "https://x.test/clip.webm");
  EXPECT_FALSE(delegate->has("onAdClose:p")) << "the video plays over the ad, which stays open";
  expectBeacons({"/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h", "/t/click"});
}

// The bridge does not keep its ad alive, and a message for an ad that is gone is dropped.
TEST_F(HtmlAdTest, BridgeOutlivedByNothing) {
  auto mraid = std::make_shared<InterstitialHtml>(adObject("h", "mraidTag", mraidData()));
  mraid->configureWebView();
  const auto web = mraid->webView;
  std::weak_ptr<Ad> watch = mraid;
  mraid.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(driver.postMessage(web, "mraidHostBridge", {{"name", "close"}}));
  EXPECT_TRUE(web->loadedRequests().empty());
}

TEST_F(HtmlAdTest, PresentationSkippedWhenClosedBeforeThePageTookItIn) {
  initializeReadyMraid();
  sdk().showAd(root(), "p");
  ad()->closeAd();
  runLoop().advance(1);
  EXPECT_FALSE(root()->presentedViewController());
  const auto told = scripts(ad()->webView);
  EXPECT_EQ(std::count(told.begin(), told.end(), "mraidController.triggerEvent(\"ready\", []);"),
            0);
}

// What a creative does before anybody saw it: no click, no beacon, and never a blank page
// shown; after giving up it is not ready ("no fill" after a fallback).
TEST_F(HtmlAdTest, CreativeActingBeforeItIsSeen) {
  struct Case {
    std::string action;
    std::string showLine;  // what showAd then says
  };
  const Case cases[] = {{"fallback", "Mraid html ad has no fill in placement p"},
                        {"unload", "MRAID html ad is not ready yet in placement p"},
                        {"close", "MRAID html ad is not ready yet in placement p"},
                        {"navigate", "MRAID html ad is not ready yet in placement p"},
                        {"open", ""},
                        {"playVideo", ""}};
  initializeReadyMraid();
  for (const auto& [action, showLine] : cases) {
    const auto web = ad()->webView;
    const auto before = web->journal().size();
    if (action == "navigate")
      driver.loadPage(web, "https://example.com/auto-redirect");
    else
      driver.postMessage(web, "mraidHostBridge",
                         {{"name", action}, {"params", "https://x.test/a.webm"}});
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    if (showLine.empty()) {
      const auto told = scripts(web, before);
      ASSERT_EQ(told.size(), 1u) << action;
      EXPECT_EQ(told[0],
                "mraidController.triggerEvent(\"error\", [\"the ad is not on screen\", \"" +
                    action + "\"]);");
      continue;
    }
    const long said = logCount(showLine);
    sdk().showAd(root(), "p");
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    EXPECT_EQ(logCount(showLine), said + 1) << action;
    // A fresh load makes it ready again (as after a showing).
    ad()->isLoaded = false;
    ad()->preload();
    ASSERT_TRUE(runUntil([&] { return ad()->webView != web; }));
    driver.finishLoading(ad()->webView);
  }
  EXPECT_TRUE(platform_->urlHandler().openedUrls().empty());
  EXPECT_FALSE(delegate->has("onAdShown:p"));
  EXPECT_FALSE(delegate->has("onAdClick:p"));
  expectBeacons({"/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=fallback"});
}

// A page blanked while it loads never makes the ad ready; one given up while the showing is
// under way ends that showAd and is loaded afresh.
TEST_F(HtmlAdTest, GivingUpWhileLoadingOrBeingPresented) {
  initializeWith(mraidData(), "mraidTag");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  driver.postMessage(ad()->webView, "mraidHostBridge", {{"name", "unload"}});
  driver.finishLoading(ad()->webView);
  EXPECT_FALSE(delegate->has("onAdReady:p"));

  const auto blanked = ad()->webView;
  ad()->preload();
  ASSERT_TRUE(runUntil([&] { return ad()->webView != blanked; }));
  driver.finishLoading(ad()->webView);
  ASSERT_TRUE(delegate->has("onAdReady:p"));
  for (const char* action : {"unload", "fallback"}) {
    const auto web = ad()->webView;
    sdk().showAd(root(), "p");
    driver.postMessage(web, "mraidHostBridge", {{"name", action}});
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p") << action;
    ASSERT_NE(ad()->webView, web) << action << ": not loaded afresh";
    driver.finishLoading(ad()->webView);
  }
  // The creative gave up before it appeared.
  EXPECT_EQ(delegate->reasons,
            std::vector<std::string>(2, "p:204:the creative closed itself before it appeared"));
  show();
  EXPECT_TRUE(onScreen());
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdShown:p"), 1);
}

TEST_F(HtmlAdTest, EventParametersAreEscapedStringLiterals) {
  auto mraid = std::make_shared<InterstitialHtml>(adObject("h", "mraidTag", mraidData()));
  mraid->configureWebView();
  mraid->triggerEvent(
      "e", {std::string("a\"b'c\\d\ne\rf\tg") + '\0' + "h" + '\0' + "1", std::int64_t{7}});
  EXPECT_EQ(scripts(mraid->webView).back(),
            "mraidController.triggerEvent(\"e\", [\"a\\\"b\\'c\\\\d\\ne\\rf\\tg\\0h\\x001\", 7]);");
}

// Without authorisations it is the page contract's (fixtures).
TEST_F(HtmlAdTest, SupportedFeaturesFollowTheAuthorisations) {
  auto env = hostEnvironment();
  env.locationAuthorization = AuthorizationStatus::authorizedWhenInUse;
  env.calendarAuthorization = AuthorizationStatus::authorized;
  setHostEnvironment(env);
  EXPECT_EQ(getSupports(),
            "{\"sms\":false,\"tel\":false,\"calendar\":true,\"storePicture\":false,"
            "\"inlineVideo\":true,\"vpaid\":false,\"location\":true}");
}

}  // namespace
}  // namespace zelvora::test
