// The house banner ad through the SDK against the reference server serving a real PNG:
// preload, showing before and after the image arrived, the framed portrait interstitial,
// its beacons, closing and showing again, images and click addresses that are unusable, and
// the click-through's landing page.
#include <future>

#include "ControllerAccess.h"
#include "adunit/components/DecodedImages.h"
#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "adunit/types/InterstitialHouseBanner.h"
#include "placement/Placement.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/ImageView.h"

namespace zelvora::test {
namespace {

using namespace platform;
using Step = headless::NavigationStep;

/// The head of a PNG declaring `width` x `height` pixels, and no pixels: a size check reads no
/// further, a decoder would have to.
std::string declaredPng(std::uint32_t width, std::uint32_t height) {
  std::string png = "\x89PNG\r\n\x1a\n";
  const auto word = [&](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(value >> shift & 0xff);
  };
  word(13);
  png += "IHDR";
  word(width);
  word(height);
  png += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
  word(0);                                        // CRC, not checked by the decoder
  word(0);
  png += "IEND";
  word(0);
  return png;
}

class BannerTest : public SdkTest {
 protected:
  BannerTest() {
    const fs::path sample = fs::path(__FILE__).parent_path().parent_path().parent_path() /
                            "server" / "assets" / "sample-banner.png";  // 320x480
    const std::string png = readFile(sample);
    fs::create_directories(assets);
    fs::copy_file(sample, assets / "banner.png");
    writeFile(assets / "truncated.png", png.substr(0, png.size() / 10));
    writeFile(assets / "not-an-image.png", "<html>this is not a picture</html>");
    writeFile(assets / "huge.png", declaredPng(16000, 16000));
    // Held until the test opens the gate (or for at most ten seconds).
    images.http.Get("/slow.png", [gate = gate, png](const auto&, auto& response) {
      gate.wait_for(std::chrono::seconds(10));
      response.set_content(png, "image/png");
    });
    images.start();
  }
  ~BannerTest() override { openGate(); }

  void openGate() {
    if (!gateOpened) opener.set_value();
    gateOpened = true;
  }

  /// The data of the banner ad: a real image, a click URL and every beacon.
  static JSON bannerData() {
    return {{"ctv", "{server}/assets/banner.png"},
            {"clk", "{server}/t/click?ad=b1"},
            {"imp", "{server}/t/imp"},
            {"extraImpBeacon", "{server}/t/imp2"},
            {"adCloseBeaconUrl", "{server}/t/close?length={length}"}};
  }

  /// Initialises the SDK with one enabled placement "p" holding one banner ad; waits for its
  /// readiness unless told otherwise.
  void initializeWith(JSON data = bannerData(), bool waitForReady = true) {
    startServer(oneAdCampaign("b1", "banner", data), assets);
    initializeAndWait("app");
    EXPECT_TRUE(!waitForReady || runUntil([&] { return delegate->has("onAdReady:p"); }));
  }

  std::shared_ptr<InterstitialHouseBanner> ad() { return firstAdOf<InterstitialHouseBanner>(); }
  std::shared_ptr<InterstitialViewController> shown() const {
    return std::dynamic_pointer_cast<InterstitialViewController>(top());
  }
  bool dismissed() const { return top() == root(); }

  /// Shows placement "p" over `host` and lets the presentation finish.
  void showAndWait(std::shared_ptr<ViewController> host = nullptr) {
    sdk().showAd(host ? host : root(), "p");
    runLoop().advance(0.3);
  }
  void close() {
    driver.tap(driver.findById("close"));
    runLoop().advance(0.3);
  }
  /// A view controller presented over the root, standing for a screen of the host's.
  std::shared_ptr<ViewController> presentHost() {
    auto host = std::make_shared<ViewController>();
    root()->present(host, false);
    driver.settle();
    return host;
  }
  /// Dismisses and releases `host`; it must really be gone.
  void releaseHost(std::shared_ptr<ViewController>& host) {
    root()->dismiss(false);
    driver.settle();
    std::weak_ptr<ViewController> watch = host;
    host.reset();
    ASSERT_TRUE(watch.expired()) << "something keeps the host alive";
  }

  fs::path assets = folder.path() / "assets";
  LoopbackServer images;

 private:
  std::promise<void> opener;
  std::shared_future<void> gate = opener.get_future().share();
  bool gateOpened = false;
};

const std::vector<std::string> kShown = {"onInit:[p]", "onAdReady:p", "onAdShown:p"};

// Render after ready: over the host's screen, the image 5 points inside its white frame, the
// impression only once the presentation completed, portrait only; 12.5 s on screen are
// reported as 13, and a second tap on close during the dismissal changes nothing.
TEST_F(BannerTest, ShownAfterReadyThenClosed) {
  initializeWith();
  sdk().showAd(root(), "p");
  driver.settle();
  const auto controller = shown();
  ASSERT_TRUE(controller);
  EXPECT_FALSE(delegate->has("onAdShown:p")) << "impression before the presentation completed";
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events, kShown);
  EXPECT_EQ(controller->modalPresentationStyle, ModalPresentationStyle::overFullScreen);
  EXPECT_TRUE(root()->isOnScreen());
  const auto image = std::dynamic_pointer_cast<ImageView>(driver.findById("banner"));
  ASSERT_TRUE(image && image->image);
  EXPECT_EQ(image->image->width(), 320);
  EXPECT_EQ(image->image->height(), 480);
  EXPECT_EQ(image->superview(), ad()->frame);
  // The picture keeps its shape, as wide as the room between the close button's margins
  // allows, and the frame is centred in that room.
  EXPECT_EQ(ad()->frame->frameInRoot(), (Rect{20, 170, 374, 556}));
  EXPECT_EQ(image->frameInRoot(), (Rect{25, 175, 364, 546}));
  EXPECT_EQ(controller->supportedInterfaceOrientations(), OrientationMask::portraitOnly());
  EXPECT_FALSE(driver.rotate(InterfaceOrientation::landscapeLeft));

  runLoop().advance(12.5);
  const auto close = driver.findById("close");
  EXPECT_TRUE(driver.tap(close));
  EXPECT_TRUE(driver.tap(close));  // during the dismissal, the button is still there
  runLoop().advance(0.3);
  EXPECT_FALSE(driver.tap(close));
  runLoop().advance(1);
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p", "onAdClose:p"}));
  expectBeacons({"/t/close?length=13", "/t/imp", "/t/imp2"});
}

// Shown again after closing, over another screen of the host and with the device turned: a
// new portrait interstitial around the same image view, in the same place, not downloaded
// again (the server no longer has it). Asked again while on screen (over another screen):
// closing still returns to the screen it was shown over.
TEST_F(BannerTest, ShownAgainAfterCloseAndWhileOnScreen) {
  initializeWith();
  showAndWait();
  const std::weak_ptr<ViewController> first = shown();  // released once closed, as in an app
  const auto image = driver.findById("banner");
  const Rect placed = image->frameInRoot();
  EXPECT_EQ(placed, (Rect{25, 175, 364, 546}));
  close();
  ASSERT_TRUE(dismissed());

  fs::remove(assets / "banner.png");
  ASSERT_TRUE(driver.rotate(InterfaceOrientation::landscapeRight));
  const auto host = presentHost();
  showAndWait(host);
  const auto again = shown();
  ASSERT_TRUE(again);
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(again->presentingViewController(), host);
  EXPECT_EQ(std::dynamic_pointer_cast<AdContainerView>(again->view())->currentOrientation,
            InterfaceOrientation::portrait);
  EXPECT_EQ(driver.findById("banner"), image);
  EXPECT_EQ(image->superview(), ad()->frame);
  EXPECT_EQ(image->frameInRoot(), placed);

  showAndWait(root());  // already on screen: refused, and nothing changes
  close();
  EXPECT_EQ(top(), host) << "the host's screen was closed too";
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p", "onAdClose:p",
                                      "onAdShown:p", "onAdFailedToShow:p", "onAdClose:p"}));
  expectBeacons(
      {"/t/close?length=0", "/t/close?length=0", "/t/imp", "/t/imp", "/t/imp2", "/t/imp2"});
}

// Only a window someone can see shows an ad: hidden, showAd fails to show with one line, fires
// nothing and presents nothing, the second time too; once visible again it shows. Hidden while
// the ad is up, the window tells its observers once per change, and the hidden time is left out
// of the time on screen (2 s seen, 5 s hidden, 2 s seen: 4).
TEST_F(BannerTest, ShownOnlyInAVisibleWindow) {
  initializeWith();
  const auto window = platform_->window();
  std::vector<bool> told;
  const auto token = window->addVisibilityObserver([&](bool visible) { told.push_back(visible); });
  window->setVisible(false);
  for (int attempt = 0; attempt < 2; ++attempt) {
    showAndWait();
    EXPECT_TRUE(dismissed());
    EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
  }
  EXPECT_EQ(logCount("ZelvoraFramework - Cannot show the ad of placement p: the window to show "
                     "the ad in is not visible"),
            2);

  window->setVisible(true);
  window->setVisible(true);  // no change: no one is told
  showAndWait();
  ASSERT_TRUE(shown());
  EXPECT_EQ(delegate->events.back(), "onAdShown:p");
  runLoop().advance(2);
  window->setVisible(false);
  runLoop().advance(5);
  window->setVisible(true);
  runLoop().advance(2);
  window->removeVisibilityObserver(token);
  window->setVisible(false);
  window->setVisible(true);
  close();
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(told, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdFailedToShow:p",
                                      "onAdFailedToShow:p", "onAdShown:p", "onAdClose:p"}));
  expectBeacons({"/t/close?length=4", "/t/imp", "/t/imp2"});
}

// Render before ready: presented over the given host in the turn that reports ready, after it.
// One ad at a time: another placement's showAd while an ad is up fails to show, whichever
// screen it names; from the first one's onAdClose it shows. Over a screen that is not shown,
// it fails to show.
TEST_F(BannerTest, OneAdAtATime) {
  const JSON ads = JSON::array({adObject("b1", "banner", bannerData())});
  startServer(campaignsFor("app", {{"p", placementObject("enabled", ads)},
                                   {"q", placementObject("enabled", ads)}}),
              assets);
  initializeAndWait("app");
  ASSERT_TRUE(
      runUntil([&] { return delegate->has("onAdReady:p") && delegate->has("onAdReady:q"); }));
  sdk().showAd(std::make_shared<ViewController>(), "p");
  EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
  showAndWait();
  const auto first = shown();
  for (const auto& host : {root(), top()}) {
    sdk().showAd(host, "q");
    runLoop().advance(1);
    EXPECT_EQ(shown(), first);
    EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:q");
  }
  EXPECT_EQ(
      logCount("ZelvoraFramework - Cannot show the ad of placement q: another ad is on screen"), 2);
  // Each with its reason, after the callback it explains.
  EXPECT_EQ(
      delegate->reasons,
      (std::vector<std::string>{"p:201:the view controller to present the ad over is not on screen",
                                "q:203:another ad is on screen", "q:203:another ad is on screen"}));
  delegate->observer = [&](const std::string& event) {
    if (event == "onAdClose:p") sdk().showAd(root(), "q");
  };
  driver.tap(driver.findById("close"));
  runLoop().advance(1);
  EXPECT_EQ(delegate->events.back(), "onAdShown:q");
  EXPECT_NE(shown(), first);
}

TEST_F(BannerTest, ShownBeforeReadyIsPresentedRightAfterReady) {
  JSON data = bannerData();
  data["ctv"] = images.url("/slow.png");
  initializeWith(data, false);
  const auto host = presentHost();
  auto presentedAtReady = std::make_shared<bool>(false);
  delegate->observer = [host, presentedAtReady](const std::string& event) {
    if (event == "onAdReady:p") *presentedAtReady = host->presentedViewController() != nullptr;
  };
  sdk().showAd(host, "p");
  runLoop().advance(1);
  EXPECT_EQ(host->presentedViewController(), nullptr);

  openGate();
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  EXPECT_FALSE(*presentedAtReady) << "presented before reporting ready";
  EXPECT_TRUE(
      std::dynamic_pointer_cast<InterstitialViewController>(host->presentedViewController()));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events, kShown);
  EXPECT_TRUE(driver.findById("banner"));
}

// Render before ready, then the host is released: nothing is presented, nothing crashes, and
// the ad can still be shown over a live screen.
TEST_F(BannerTest, HostReleasedBeforeTheImageArrivesPresentsNothing) {
  JSON data = bannerData();
  data["ctv"] = images.url("/slow.png");
  initializeWith(data, false);
  auto host = presentHost();
  sdk().showAd(host, "p");
  driver.settle();
  releaseHost(host);

  openGate();
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  runLoop().advance(1);
  EXPECT_EQ(root()->presentedViewController(), nullptr);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdReady:p"}));
  showAndWait();
  EXPECT_EQ(delegate->events, kShown);
}

// The picture is decoded off the main thread and set in a later task of the main queue; a
// banner gone by then is left alone.
TEST_F(BannerTest, ImageIsDecodedOffTheMainThread) {
  auto banner = Banner::make("unused");
  auto gone = Banner::make("unused");
  banner->preloadCompletion((assets / "banner.png").string());
  gone->preloadCompletion((assets / "banner.png").string());
  EXPECT_EQ(banner->image(), nullptr) << "decoded on the main thread";
  std::weak_ptr<Banner> watch = gone;
  gone.reset();
  ASSERT_TRUE(watch.expired()) << "the pending decoding keeps the banner alive";
  ASSERT_TRUE(runUntil([&] { return banner->image() != nullptr; }));
  EXPECT_EQ(banner->image()->width(), 320);
  EXPECT_EQ(banner->isImageLoaded, true);
}

// Past the budget of decoded pictures, banners not on screen let theirs go, least recently
// decoded first, and stay ready: shown, one is decoded again and presented a moment later,
// and the picture on screen is kept whatever else is decoded meanwhile.
TEST_F(BannerTest, DecodedPicturesKeepWithinTheirBudget) {
  sdk().setAdSettings({.decodedImageBudgetMiB = 1});  // a 320x480 picture takes 0.59 MiB
  const std::vector<std::string> ids = {"p1", "p2", "p3"};
  JSON placements = JSON::object();
  for (const auto& id : ids)
    placements[id] =
        placementObject("enabled", JSON::array({adObject("b" + id, "banner", bannerData())}));
  startServer(campaignsFor("app", placements), assets);
  initializeAndWait("app");
  ASSERT_TRUE(runUntil([&] {
    return std::count_if(delegate->events.begin(), delegate->events.end(),
                         [](const auto& event) { return event.rfind("onAdReady:", 0) == 0; }) == 3;
  }));
  const auto banner = [](const std::string& id) {
    return firstAdOf<InterstitialHouseBanner>(id)->banner;
  };
  const auto decoded = [&] {
    std::vector<std::string> held;
    for (const auto& id : ids)
      if (banner(id)->image()) held.push_back(id);
    return held;
  };
  ASSERT_EQ(decoded().size(), 1u);
  EXPECT_LE(DecodedImages::heldBytes(), 1024u * 1024u);
  for (const auto& id : ids) EXPECT_TRUE(sdk().isReady(id)) << id;

  const std::string dropped = banner("p1")->image() ? "p2" : "p1";
  sdk().showAd(root(), dropped);
  EXPECT_FALSE(shown()) << "presented before its picture was decoded again";
  ASSERT_TRUE(runUntil([&] { return shown() != nullptr; }));
  runLoop().advance(0.3);
  EXPECT_TRUE(delegate->has("onAdShown:" + dropped));
  EXPECT_EQ(banner(dropped)->imageView->image, banner(dropped)->image());

  // Every other picture decoded again while it is on screen: its own stays.
  int pending = 0;
  for (const auto& id : ids)
    if (id != dropped) ++pending, banner(id)->whenDecoded([&](bool) { --pending; });
  ASSERT_TRUE(runUntil([&] { return pending == 0; }));
  EXPECT_TRUE(banner(dropped)->image()) << "the picture on screen was let go";
  EXPECT_EQ(decoded().size(), 2u);
}

/// What becomes of a placement whose first ad cannot be loaded, by the way it fails: the host
/// hears why, a showing asked for meanwhile fails, and the placement goes on: a passing fault is
/// tried again with the same ad after its pause, any other moves on to the placement's second
/// ad (a good banner).
struct LoadFailureCase {
  const char* name;
  JSON ctv;
  ZelError reason;
  bool retried;
};

class LoadFailureTest : public BannerTest, public ::testing::WithParamInterface<LoadFailureCase> {};

TEST_P(LoadFailureTest, IsReportedAndRetriedOrMovesOn) {
  const auto& param = GetParam();
  JSON first = bannerData();
  if (param.ctv.is_null()) {
    first.erase("ctv");
  } else {
    first["ctv"] = param.ctv;
  }
  const JSON ads =
      JSON::array({adObject("b1", "banner", first), adObject("b2", "banner", bannerData())});
  startServer(campaignsFor("app", {{"p", placementObject("enabled", ads)}}), assets);
  initializeAndWait("app");
  sdk().showAd(root(), "p");
  ASSERT_TRUE(runUntil([&] { return !delegate->loading.empty(); }));
  EXPECT_EQ(delegate->loading,
            std::vector<std::string>{"failed:p:" + std::to_string(static_cast<int>(param.reason))});
  EXPECT_FALSE(sdk().isReady("p"));
  // The pause before a retry is 2 s and at most a quarter more.
  const double failedAt = runLoop().now();
  // The next ad comes without the clock moving; a retry only once it moved past the pause.
  const auto ready = [&] { return delegate->has("onAdReady:p"); };
  ASSERT_TRUE(param.retried ? advanceUntil(ready, 30) : runUntil(ready));
  if (param.retried) {
    EXPECT_GE(runLoop().now() - failedAt, 2);
  }
  const auto* placement = internal::ControllerAccess::placements().find("p");
  EXPECT_EQ((*placement)->currentAd()->id(), param.retried ? "b1" : "b2");
  EXPECT_TRUE(sdk().isReady("p"));
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdFailedToShow:p", "onAdReady:p"}));
  EXPECT_EQ(delegate->reasons.size(), 1u);
  EXPECT_EQ(delegate->reasons[0].rfind("p:207:", 0), 0u) << delegate->reasons[0];
  EXPECT_EQ(logCount("image refused: 16000x16000 pixels"),
            std::string(param.name) == "huge" ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Images, LoadFailureTest,
    ::testing::Values(
        LoadFailureCase{"not_an_image", "{server}/assets/not-an-image.png", ZelError::wrongKind,
                        false},
        LoadFailureCase{"truncated", "{server}/assets/truncated.png", ZelError::wrongKind, false},
        LoadFailureCase{"huge", "{server}/assets/huge.png", ZelError::wrongKind, false},
        LoadFailureCase{"status_404", "{server}/assets/missing.png", ZelError::fileRefused, false},
        LoadFailureCase{"status_503_once", "{server}/refused/1/banner.png",
                        ZelError::downloadFailed, true},
        LoadFailureCase{"missing", JSON(), ZelError::invalidAd, false},
        LoadFailureCase{"a_number", 42, ZelError::invalidAd, false},
        LoadFailureCase{
            "an_object", {{"url", "{server}/assets/banner.png"}}, ZelError::invalidAd, false}),
    [](const auto& info) { return std::string(info.param.name); });

/// Click addresses that are missing or not a string are no click at all; one that does not
/// parse is reported as a click but opens nothing. No click beacon either way.
class BadClickTest : public BannerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadClickTest, OpensNoLandingPage) {
  const std::string kind = GetParam();
  JSON data = bannerData();
  if (kind == "missing") data.erase("clk");
  if (kind == "a_number") data["clk"] = 42;
  if (kind == "an_object") data["clk"] = {{"url", "{server}/t/click"}};
  if (kind == "unparsable") data["clk"] = "{server}/x/<the shop>";
  initializeWith(data);
  showAndWait();
  ASSERT_TRUE(driver.tap(driver.findById("banner")));
  EXPECT_EQ(delegate->has("onAdClick:p"), kind == "unparsable");
  EXPECT_TRUE(driver.webViews().empty());
  EXPECT_TRUE(shown());
  EXPECT_TRUE(platform_->urlHandler().openedUrls().empty());
  expectBeacons({"/t/imp", "/t/imp2"});
}

INSTANTIATE_TEST_SUITE_P(Clicks, BadClickTest,
                         ::testing::Values("missing", "a_number", "an_object", "unparsable"),
                         [](const auto& info) { return std::string(info.param); });

// A tap on the banner: the click beacon, the landing page laid over the interstitial, and how
// its navigation ends (back to the host, or to the system for store addresses).
class ClickThroughTest : public BannerTest {
 protected:
  void SetUp() override { initializeWith(); }

  /// Shows the ad, taps its image and returns the landing page's web view.
  std::shared_ptr<WebView> click(std::shared_ptr<ViewController> host = nullptr) {
    showAndWait(host);
    EXPECT_TRUE(driver.tap(driver.findById("banner")));
    return std::dynamic_pointer_cast<WebView>(driver.findById("click-through"));
  }
  const std::vector<std::string>& opened() { return platform_->urlHandler().openedUrls(); }

  const std::string storeUrl = "https://itunes.example.com/app/id42?mt=8";
  const std::vector<Step> finishedOnStore = {Step::start(), Step::redirect(storeUrl),
                                             Step::commit(), Step::finish()};
};

TEST_F(ClickThroughTest, OrdinaryPageStaysOverTheAdUntilGoBack) {
  const auto web = click();
  ASSERT_TRUE(web);
  EXPECT_EQ(delegate->events.back(), "onAdClick:p");
  expectBeacons({"/t/click?ad=b1", "/t/imp", "/t/imp2"});

  // Laid over the whole interstitial: the page, a spinner, "Go Back", and the close button
  // still on top, working.
  const auto view = shown()->view();
  ASSERT_EQ(web->superview(), view);
  EXPECT_EQ(web->frame, view->bounds());
  ASSERT_EQ(web->loadedRequests().size(), 1u);
  EXPECT_EQ(web->loadedRequests()[0].url, server->baseUrl() + "/t/click?ad=b1");
  const auto spinner = driver.find<ActivityIndicatorView>();
  EXPECT_TRUE(spinner && spinner->isAnimating());
  const auto goBack = driver.findByTitle("Go Back");
  ASSERT_GE(view->subviews().size(), 2u);
  EXPECT_EQ(view->subviews().end()[-2], goBack);
  EXPECT_EQ(view->subviews().back(), driver.findById("close"));

  driver.finishLoading(web);
  EXPECT_FALSE(driver.find<ActivityIndicatorView>()) << "the spinner outlived the page's load";
  EXPECT_FALSE(dismissed());
  EXPECT_TRUE(opened().empty());
  EXPECT_FALSE(logged("redirect url = "));
  // A TV's window: "Go Back" grows with it, as the close button does.
  const double before = goBack->frame.height;
  platform_->window()->resize({1920, 1080});
  EXPECT_DOUBLE_EQ(goBack->frame.height, before * 1080 / 640);
  EXPECT_DOUBLE_EQ(goBack->frame.height, driver.findById("close")->frame.height * 44 / 40);
  EXPECT_TRUE(driver.tap(goBack));
  EXPECT_TRUE(dismissed());
  EXPECT_TRUE(driver.webViews().empty());
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");
}

// Store addresses go to the system, and the ad is dismissed: reached by a redirect whose
// load then fails; or a finished load on one, logged as "redirect url = " (one the system
// cannot open is dropped). The next click starts afresh: a plain failure opens nothing.
TEST_F(ClickThroughTest, StoreAddressesGoToTheSystem) {
  driver.playNavigation(click(),
                        {Step::start(), Step::redirect(storeUrl), Step::fail("unsupported")});
  EXPECT_EQ(opened(), std::vector<std::string>{storeUrl});
  EXPECT_TRUE(dismissed());
  EXPECT_FALSE(logged("redirect url = "));
  driver.failLoading(click(), "offline");
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(opened().size(), 1u);

  driver.playNavigation(click(), finishedOnStore);
  EXPECT_TRUE(logged("redirect url = " + storeUrl));
  EXPECT_EQ(opened(), (std::vector<std::string>{storeUrl, storeUrl}));
  EXPECT_TRUE(dismissed());
  driver.playNavigation(click(), {Step::start(), Step::redirect("unknown-itunes:id42"),
                                  Step::commit(), Step::finish()});
  EXPECT_TRUE(logged("redirect url = unknown-itunes:id42"));
  EXPECT_EQ(opened().size(), 2u);
  EXPECT_TRUE(dismissed());
}

// The deferred dismissal reaches its host only weakly: a released host is skipped.
TEST_F(ClickThroughTest, DismissalIsSkippedWhenTheHostIsGone) {
  auto host = presentHost();
  const auto web = click(host);
  ASSERT_TRUE(web);
  releaseHost(host);
  driver.playNavigation(web, finishedOnStore);
  EXPECT_EQ(opened(), std::vector<std::string>{storeUrl});
  ad()->dismissRedirectView();
  driver.settle();
  EXPECT_EQ(root()->presentedViewController(), nullptr);
}

}  // namespace
}  // namespace zelvora::test
