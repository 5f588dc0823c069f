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

// Every way of closing blanks the page; each time the ad is reloaded in a fresh page and the
// host hears it is ready again (not a second onAdReady). A fallback on screen tells the page
// what a close does, reports no ads and gives the ad up: nothing is reloaded.
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
    if (way == "close") closed = scripts(web, before);
    EXPECT_EQ(web->journal().back().text, "about:blank") << way;
    EXPECT_EQ(delegate->events.back(), "onAdClose:p") << way;
    if (way == "fallback") {
      EXPECT_EQ(scripts(web, before), closed);
      break;
    }
    EXPECT_FALSE(sdk().isReady("p")) << way << ": ready while it reloads";
    const auto fresh = ad()->webView;
    ASSERT_NE(fresh, web) << way;
    EXPECT_EQ(ad()->currentContainerState, "loading");
    driver.finishLoading(fresh);
    EXPECT_TRUE(sdk().isReady("p")) << way;
  }
  EXPECT_TRUE(logged("Message received: mraidHostBridge with body: {\"name\":\"close\"}"));
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdReady:p"), 1);
  EXPECT_EQ(delegate->events.end()[-2], "onNoAds:p") << "the fallback reports no ads, then closes";
  std::vector<std::string> loading(3, "readyAgain:p");
  loading.push_back("failed:p:304");
  EXPECT_EQ(delegate->loading, loading);
  EXPECT_FALSE(sdk().isReady("p"));
  expectBeacons({"/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=fallback", "/t/imp?ad=h", "/t/imp?ad=h", "/t/imp?ad=h",
                 "/t/imp?ad=h", "/t/close?length=0", "/t/close?length=0", "/t/close?length=0",
                 "/t/close?length=0"});
}

// A creative that gives up while it loads is done with: showings before and after fail, with
// why, and the placement has no other ad.
TEST_F(HtmlAdTest, FallbackWhileLoadingGivesTheAdUp) {
  initializeWith(mraidData(), "mraidTag");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  sdk().showAd(root(), "p");
  EXPECT_TRUE(logged("MRAID html ad is not ready yet in placement p"));

  const auto web = ad()->webView;
  driver.postMessage(web, "mraidHostBridge", {{"name", "fallback"}});
  driver.finishLoading(web);
  runLoop().advance(1);
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdFailedToShow:p", "onNoAds:p"}));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"failed:p:304"});
  EXPECT_FALSE(sdk().isReady("p"));
  sdk().showAd(root(), "p");
  runLoop().advance(1);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(delegate->reasons,
            (std::vector<std::string>{"p:207:the creative's page is still loading",
                                      "p:207:none of the placement's ads could be loaded"}));
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

// What a creative does before anybody saw it: no click, no beacon, never a blank page shown.
// One that gives up (a fallback, a blanked or closed page, a navigation) is done with: the host
// hears why and the placement's next ad loads, ready again once its page has.
TEST_F(HtmlAdTest, CreativeActingBeforeItIsSeen) {
  startServer(mraidAds(5), assets);
  initializeAndWait("app");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  driver.finishLoading(ad()->webView);
  ASSERT_TRUE(delegate->has("onAdReady:p"));
  int given = 0;
  for (const std::string action :
       {"open", "playVideo", "fallback", "unload", "close", "navigate"}) {
    const auto unit = ad();
    const auto web = unit->webView;
    const auto before = web->journal().size();
    if (action == "navigate")
      driver.loadPage(web, "https://example.com/auto-redirect");
    else
      driver.postMessage(web, "mraidHostBridge",
                         {{"name", action}, {"params", "https://x.test/a.webm"}});
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    if (action == "open" || action == "playVideo") {
      const auto told = scripts(web, before);
      ASSERT_EQ(told.size(), 1u) << action;
      EXPECT_EQ(told[0],
                "mraidController.triggerEvent(\"error\", [\"the ad is not on screen\", \"" +
                    action + "\"]);");
      continue;
    }
    ++given;
    EXPECT_EQ(delegate->loading.back(), "failed:p:304") << action;
    ASSERT_NE(ad(), unit) << action << ": the next ad";
    sdk().showAd(root(), "p");
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p") << action;
    ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
    driver.finishLoading(ad()->webView);
    EXPECT_TRUE(sdk().isReady("p")) << action;
    EXPECT_EQ(delegate->loading.back(), "readyAgain:p") << action;
  }
  EXPECT_EQ(ad()->id(), "h" + std::to_string(given + 1));
  EXPECT_TRUE(platform_->urlHandler().openedUrls().empty());
  EXPECT_FALSE(delegate->has("onAdShown:p"));
  EXPECT_FALSE(delegate->has("onAdClick:p"));
  expectBeacons({"/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=fallback",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad",
                 "/t/imp?ad=h&metric=adLoad", "/t/imp?ad=h&metric=adLoad"});
}

// A page blanked while it loads gives the ad up; one blanked while its showing is under way
// ends that showAd and is loaded afresh; a fallback then gives it up for the next ad.
TEST_F(HtmlAdTest, GivingUpWhileLoadingOrBeingPresented) {
  startServer(mraidAds(3), assets);
  initializeAndWait("app");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  const auto blanked = ad()->webView;
  driver.postMessage(blanked, "mraidHostBridge", {{"name", "unload"}});
  driver.finishLoading(blanked);
  EXPECT_FALSE(delegate->has("onAdReady:p"));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"failed:p:304"});

  ASSERT_TRUE(runUntil([&] { return ad()->id() == "h2" && ad()->webView != nullptr; }));
  driver.finishLoading(ad()->webView);
  ASSERT_TRUE(delegate->has("onAdReady:p"));
  for (const char* action : {"unload", "fallback"}) {
    const auto web = ad()->webView;
    sdk().showAd(root(), "p");
    driver.postMessage(web, "mraidHostBridge", {{"name", action}});
    runLoop().advance(1);
    EXPECT_FALSE(onScreen()) << action;
    EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p") << action;
    ASSERT_TRUE(runUntil([&] { return ad()->webView != web && ad()->webView != nullptr; }))
        << action << ": not loaded afresh";
    driver.finishLoading(ad()->webView);
  }
  EXPECT_EQ(ad()->id(), "h3");
  EXPECT_EQ(delegate->loading, (std::vector<std::string>{"failed:p:304", "readyAgain:p",
                                                         "failed:p:304", "readyAgain:p"}));
  // The creative gave up before it appeared.
  EXPECT_EQ(delegate->reasons,
            std::vector<std::string>(2, "p:204:the creative closed itself before it appeared"));
  show();
  EXPECT_TRUE(onScreen());
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdShown:p"), 1);
}

// A page whose web process ends or stops answering is never shown nor counted: long after it
// loaded it is loaded again; a showing it does not answer fails in time and the page goes to a
// process of its own, where ending the process again (here while on screen) gives the ad up.
TEST_F(HtmlAdTest, PagesWhoseWebProcessEndsOrStopsAnswering) {
  startServer(mraidAds(2), assets);
  initializeAndWait("app");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  driver.finishLoading(ad()->webView);
  auto& engine = platform_->webEngine();

  runLoop().advance(11);
  const auto crashed = ad()->webView;
  engine.terminateWebProcess(*crashed, WebContentTermination::crashed);
  driver.settle();
  EXPECT_TRUE(crashed->isHidden);
  EXPECT_FALSE(sdk().isReady("p"));
  ASSERT_NE(ad()->webView, crashed);
  EXPECT_FALSE(ad()->webView->configuration().ownProcess);
  driver.finishLoading(ad()->webView);
  EXPECT_TRUE(sdk().isReady("p"));

  engine.answersScripts = false;
  const auto spinning = ad()->webView;
  sdk().showAd(root(), "p");
  runLoop().advance(4.9);
  EXPECT_EQ(delegate->events.back(), "onAdReady:p");
  runLoop().advance(0.2);
  EXPECT_FALSE(root()->presentedViewController());
  EXPECT_EQ(delegate->reasons.back(), "p:208:the creative's page did not answer in time");
  engine.answersScripts = true;
  ASSERT_TRUE(runUntil([&] { return ad()->webView != spinning; }));
  EXPECT_TRUE(ad()->webView->configuration().ownProcess);
  driver.finishLoading(ad()->webView);
  show();
  ASSERT_TRUE(onScreen());

  engine.terminateWebProcess(*ad()->webView, WebContentTermination::unresponsive);
  runLoop().advance(1);
  EXPECT_FALSE(root()->presentedViewController());
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");
  EXPECT_EQ(delegate->loading,
            (std::vector<std::string>{"readyAgain:p", "readyAgain:p", "failed:p:308"}));
  EXPECT_TRUE(
      logged("HTML ad page ended in placement p: the creative's web process stopped "
             "answering"));
  ASSERT_TRUE(runUntil([&] { return ad()->id() == "h2" && ad()->webView != nullptr; }));
  EXPECT_FALSE(ad()->webView->configuration().ownProcess);
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
