// The house banner ad through the SDK: preload, showing before and after the image arrived,
// the framed portrait interstitial, impression and display-time beacons, closing and showing
// again, and images that never arrive.
#include "BannerFixture.h"

namespace zelvora::test {
namespace {

using namespace platform;
using BannerAdTest = BannerFixture;

TEST_F(BannerAdTest, ShownAfterReadyAsAFramedPortraitImageWithTheImpressionOnceOnScreen) {
  initializeWith(bannerData());
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  ASSERT_TRUE(ad()->isLoaded);

  sdk().showAd(root(), "p");
  driver.settle();
  const auto controller = shown();
  ASSERT_TRUE(controller);
  EXPECT_FALSE(hasEvent("onAdShown:p")) << "impression before the presentation completed";
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p"}));
  expectBeacons({"/t/imp", "/t/imp2"});

  // Over the host's screen, which stays visible beneath.
  EXPECT_EQ(controller->modalPresentationStyle, ModalPresentationStyle::overFullScreen);
  EXPECT_EQ(controller->modalTransitionStyle, ModalTransitionStyle::flipHorizontal);
  EXPECT_TRUE(root()->isOnScreen());

  // The image inside the white frame, 5 points in; the frame hangs from the content's top.
  const auto image = std::dynamic_pointer_cast<ImageView>(driver.findById("banner"));
  ASSERT_TRUE(image && image->image);
  EXPECT_EQ(image->image->width(), 320);
  EXPECT_EQ(image->image->height(), 480);
  const auto frame = image->superview();
  EXPECT_EQ(frame, ad()->frame);
  EXPECT_EQ(frame->frameInRoot(), (Rect{20, 40, 374, 490}));
  EXPECT_EQ(image->frameInRoot(), (Rect{25, 45, 364, 480}));

  // Portrait only.
  EXPECT_EQ(controller->supportedInterfaceOrientations(), OrientationMask::portraitOnly());
  EXPECT_FALSE(driver.rotate(InterfaceOrientation::landscapeLeft));
}

TEST_F(BannerAdTest, BuiltForPortraitEvenWhenTheDeviceIsTurned) {
  initializeWith(bannerData());
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  ASSERT_TRUE(driver.rotate(InterfaceOrientation::landscapeRight));
  showAndWait();
  const auto container = std::dynamic_pointer_cast<AdContainerView>(shown()->view());
  ASSERT_TRUE(container);
  EXPECT_EQ(container->currentOrientation, InterfaceOrientation::portrait);
  EXPECT_EQ(container->getContentYPosition(), 40);
  EXPECT_EQ(shown()->requestedOrientation, InterfaceOrientation::portrait);
}

TEST_F(BannerAdTest, CloseTimesTheDisplayOnTheClockAndASecondTapChangesNothing) {
  initializeWith(bannerData());
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  showAndWait();
  runLoop().advance(12.5);

  const auto close = driver.findById("close");
  ASSERT_TRUE(close);
  EXPECT_TRUE(driver.tap(close));
  EXPECT_TRUE(driver.tap(close));  // during the dismissal, the button is still there
  runLoop().advance(0.3);
  EXPECT_FALSE(driver.tap(close));  // gone
  runLoop().advance(1);

  EXPECT_EQ(platform_->window()->topViewController(), root());
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p", "onAdClose:p"}));
  expectBeacons({"/t/close?length=13", "/t/imp", "/t/imp2"});
}

TEST_F(BannerAdTest, ShownAgainAfterClosingAroundTheSameImage) {
  initializeWith(bannerData());
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  showAndWait();
  const auto firstController = shown();
  const auto firstFrame = ad()->frame;
  const auto image = driver.findById("banner");
  driver.tap(driver.findById("close"));
  runLoop().advance(0.3);
  ASSERT_EQ(platform_->window()->topViewController(), root());

  // The image is not fetched again: the server no longer has it.
  fs::remove(assets / "banner.png");
  showAndWait();
  ASSERT_TRUE(shown());
  EXPECT_NE(shown(), firstController);
  EXPECT_NE(ad()->frame, firstFrame);
  EXPECT_NE(shown()->view(), firstController->view());
  EXPECT_EQ(driver.findById("banner"), image);
  EXPECT_EQ(image->superview(), ad()->frame);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p",
                                                        "onAdClose:p", "onAdShown:p"}));

  // The second showing closes as the first did.
  driver.tap(driver.findById("close"));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");
  EXPECT_EQ(platform_->window()->topViewController(), root());
  expectBeacons(
      {"/t/close?length=0", "/t/close?length=0", "/t/imp", "/t/imp", "/t/imp2", "/t/imp2"});
}

TEST_F(BannerAdTest, ShowingAgainWhileOnScreenLeavesTheShownImageInPlace) {
  initializeWith(bannerData());
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  showAndWait();
  const auto controller = shown();
  const auto frame = ad()->frame;
  showAndWait();  // the host asks twice, as a double tap on its button would

  EXPECT_EQ(shown(), controller);
  const auto image = driver.findById("banner");
  ASSERT_TRUE(image) << "the interstitial on screen lost its image:\n" << driver.dumpScreen();
  EXPECT_EQ(image->superview(), frame);
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdShown:p"), 1);
  driver.tap(driver.findById("close"));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");
}

/// Notes whether the ad was already presented when it reported ready.
class ReadinessDelegate : public RecordingDelegate {
 public:
  void onAdReady(const std::string& id) override {
    RecordingDelegate::onAdReady(id);
    presentedAtReady = host && host->presentedViewController() != nullptr;
  }
  std::shared_ptr<ViewController> host;
  bool presentedAtReady = false;
};

TEST_F(BannerAdTest, ShownBeforeReadyPresentsOverTheGivenHostRightAfterReady) {
  auto readiness = std::make_shared<ReadinessDelegate>();
  delegate = readiness;
  sdk().setEventDelegate(readiness);
  JSON data = bannerData();
  data["ctv"] = images.url("/slow.png");
  initializeWith(data);
  auto host = std::make_shared<ViewController>();
  readiness->host = host;
  root()->present(host, false);
  driver.settle();

  sdk().showAd(host, "p");
  runLoop().advance(1);
  EXPECT_EQ(host->presentedViewController(), nullptr);
  EXPECT_TRUE(ad()->shouldShowAdAfterPreload);

  openGate();
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  EXPECT_FALSE(readiness->presentedAtReady) << "presented before reporting ready";
  // Presented in the same turn as the readiness, before any time passed.
  EXPECT_TRUE(
      std::dynamic_pointer_cast<InterstitialViewController>(host->presentedViewController()));
  EXPECT_FALSE(hasEvent("onAdShown:p"));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p"}));
  EXPECT_TRUE(driver.findById("banner"));
}

TEST_F(BannerAdTest, HostReleasedBeforeTheImageArrivesPresentsNothing) {
  JSON data = bannerData();
  data["ctv"] = images.url("/slow.png");
  initializeWith(data);
  auto host = std::make_shared<ViewController>();
  root()->present(host, false);
  driver.settle();
  sdk().showAd(host, "p");
  driver.settle();

  root()->dismiss(false);
  driver.settle();
  std::weak_ptr<ViewController> watch = host;
  host.reset();
  ASSERT_TRUE(watch.expired()) << "the pending showing keeps the host alive";

  openGate();
  ASSERT_TRUE(runUntil([&] { return hasEvent("onAdReady:p"); }));
  runLoop().advance(1);
  EXPECT_EQ(root()->presentedViewController(), nullptr);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdReady:p"}));
  for (const auto& line : lines) EXPECT_EQ(line.find("present:"), std::string::npos) << line;

  // The ad can still be shown over a live screen.
  showAndWait();
  EXPECT_TRUE(hasEvent("onAdShown:p"));
}

/// Banner images that never become an image: the ad stays unready and a showing asked for
/// meanwhile stays pending; a failed download leaves the loader's one console line.
class UnusableImageTest : public BannerFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  JSON ctv() {
    const std::string name = GetParam();
    if (name == "not an image") return "{server}/assets/not-an-image.png";
    if (name == "status 404") return "{server}/assets/missing.png";
    if (name == "truncated") return images.url("/truncated.png");
    if (name == "a number") return 42;
    if (name == "an object") return JSON{{"url", "{server}/assets/banner.png"}};
    return nullptr;
  }
};

TEST_P(UnusableImageTest, LeavesTheAdUnreadyAndTheShowingPending) {
  writeFile(assets / "not-an-image.png", "<html>this is not a picture</html>");
  JSON data = bannerData();
  if (const JSON value = ctv(); value.is_null()) {
    data.erase("ctv");
  } else {
    data["ctv"] = value;
  }
  initializeWith(data);
  sdk().showAd(root(), "p");

  // The download ends in a console line, or in a file that does not decode.
  const fs::path media = folder.path() / "tmp" / "zelvora";
  auto downloaded = [&] {
    if (!fs::exists(media)) return false;
    for (const auto& entry : fs::recursive_directory_iterator(media)) {
      if (entry.is_regular_file() && entry.path().string().find(".part") == std::string::npos)
        return true;
    }
    return false;
  };
  ASSERT_TRUE(runUntil([&] {
    return downloaded() || std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
             return line.rfind("download failed: ", 0) == 0;
           });
  }));
  // Another download through the same client: by its completion the banner's has run.
  bool marker = false;
  FileLoader::loadFile(server->baseUrl() + "/assets/banner.png",
                       [&](const std::string&) { marker = true; });
  ASSERT_TRUE(runUntil([&] { return marker; }));
  runLoop().advance(1);

  EXPECT_FALSE(ad()->isLoaded);
  EXPECT_NE(ad()->banner->isImageLoaded, true);
  EXPECT_EQ(root()->presentedViewController(), nullptr);
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onInit:[p]"});
  const auto failures = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("download failed: ", 0) == 0;
  });
  EXPECT_EQ(failures, std::string(GetParam()) == "not an image" ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Images, UnusableImageTest,
                         ::testing::Values("not an image", "status 404", "truncated", "missing",
                                           "a number", "an object"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

}  // namespace
}  // namespace zelvora::test
