// The house video ad against the reference server serving a real 8-second video, the sound
// icons and a landing card: countdowns on the manual clock, skip, end, click, sound, landing
// card and display time, showing again, and what preloading does with icons and addresses.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "ControllerAccess.h"
#include "adunit/rendering/AdContainerView.h"
#include "adunit/types/InterstitialHouseVideo.h"
#include "placement/Placement.h"
#include "support/SdkTest.h"
#include "tools/Assets.h"
#include "tools/FileLoader.h"
#include "zelvora/platform/render/ViewRenderer.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/ImageView.h"

namespace zelvora::test {
namespace {

using namespace platform;

const fs::path kServerAssets =
    fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "assets";

class VideoAdTest : public SdkTest {
 protected:
  VideoAdTest() {
    fs::create_directories(assets);
    fs::copy_file(kServerAssets / "sample-video.webm", assets / "video.webm");
    fs::copy_file(kServerAssets / "sample-landing-card.png", assets / "card.png");
    for (const char* icon : {"ic_sound_on.png", "ic_sound_off.png"})
      fs::copy_file(kServerAssets / icon, assets / icon);
  }

  /// The video, a click URL and the beacons; `members` adds or replaces the rest.
  static JSON videoData(const JSON& members = JSON::object()) {
    JSON data = {{"video", "{server}/assets/video.webm"},
                 {"clk", "{server}/t/click"},
                 {"imp", "{server}/t/imp"},
                 {"adCloseBeaconUrl", "{server}/t/close?length={length}"}};
    data.update(members);
    return data;
  }
  /// Initialises with placement "p" holding the video ad; waits for readiness unless told not.
  void initializeWith(const JSON& data, bool waitForReady = true) {
    startServer(oneAdCampaign("v1", "video", data), assets);
    initializeAndWait("app");
    ASSERT_TRUE(!waitForReady || runUntil([&] { return delegate->has("onAdReady:p"); }));
  }

  std::shared_ptr<InterstitialHouseVideo> ad() { return firstAdOf<InterstitialHouseVideo>(); }
  VideoPlayer& video() { return *ad()->videoPlayer; }
  bool overlayHidden() { return ad()->playerVC.lock()->contentOverlayView()->isHidden; }

  /// Shows "p" and completes the presentation: playback starts and time 0 is reported.
  void showAndStart() {
    sdk().showAd(root(), "p");
    runLoop().advance(0.3);
  }
  fs::path assets = folder.path() / "assets";
};

const std::vector<std::string> kShown = {"onInit:[p]", "onAdReady:p", "onAdShown:p"};
const std::vector<std::string> kClosed = {"onInit:[p]", "onAdReady:p", "onAdShown:p",
                                          "onAdClose:p"};

/// The overlay's texts after the report of each second from 0: the skip label as the seconds
/// left before skipping (0: "Skip") and the remaining time; the second the video ends at
/// (-1: not then, and "Skip" ends the ad after the last second).
struct Countdown {
  friend std::ostream& operator<<(std::ostream& out, const Countdown& row) {
    return out << row.name;
  }
  const char* name;
  JSON members;
  std::vector<int> skipIn;
  std::vector<int> remaining;
  int endsAt;
};

class CountdownTest : public VideoAdTest, public ::testing::WithParamInterface<Countdown> {};

TEST_P(CountdownTest, TextsFollowTheClockAndTheVideoEndsAtTheAnnouncedDuration) {
  const Countdown& row = GetParam();
  initializeWith(videoData(row.members));
  showAndStart();
  const int last = static_cast<int>(row.skipIn.size()) - 1;
  for (int second = 0; second <= last; ++second) {
    if (second > 0) runLoop().advance(1);
    const int skipIn = row.skipIn[second];
    EXPECT_EQ(video().skippableLabel->text,
              skipIn == 0 ? "Skip" : "Skippable in " + std::to_string(skipIn) + " seconds")
        << "at " << second;
    EXPECT_EQ(video().remainingTimeLabel->text,
              "Video will end in " + std::to_string(row.remaining[second]) + " seconds")
        << "at " << second;
    EXPECT_EQ(overlayHidden(), second == row.endsAt) << "at " << second;
    // "Skip" takes no tap before it is enabled.
    if (skipIn > 0) {
      EXPECT_FALSE(driver.tap(driver.findById("skip"))) << "at " << second;
    }
  }
  EXPECT_EQ(video().player == nullptr, row.endsAt >= 0);
  if (row.endsAt < 0) {
    EXPECT_EQ(delegate->events, kShown);
    ASSERT_TRUE(driver.tap(driver.findById("skip")));
  }
  runLoop().advance(0.3);
  EXPECT_EQ(top(), root());
  EXPECT_EQ(delegate->events, kClosed);
  expectBeacons(
      {"/t/close?length=" + std::to_string(row.endsAt < 0 ? last : row.endsAt), "/t/imp"});
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Data, CountdownTest, ::testing::Values(
    Countdown{"SkippableAtOnce", {{"skippableIn", 0}, {"duration", 3}}, {0, 0, 0, 0}, {3, 2, 1, 0}, 3},
    Countdown{"SkippableIn5", {{"skippableIn", 5}, {"duration", 6}}, {5, 4, 3, 2, 1, 0, 0}, {6, 5, 4, 3, 2, 1, 0}, 6},
    Countdown{"SkippableInAsString", {{"skippableIn", "5"}, {"duration", 1}}, {0, 0}, {1, 0}, 1},
    Countdown{"DurationMissing", {{"skippableIn", 5}}, {5}, {0}, 0},
    Countdown{"DurationZero", {{"skippableIn", 5}, {"duration", 0}}, {5}, {0}, 0},
    Countdown{"DurationTruncated", {{"skippableIn", 1}, {"duration", 15.9}}, {1, 0, 0}, {15, 14, 13}, -1},
    Countdown{"DurationAsString", {{"skippableIn", 1}, {"duration", "12"}}, {1, 0}, {12, 11}, -1},
    Countdown{"DurationAlreadyPassed", {{"duration", -2}}, {0}, {-2}, 0},
    // The 8 s file ends first: the texts stay, no end is reported, "Skip" still works.
    Countdown{"FileShorterThanDuration", {{"duration", 10}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
              {10, 9, 8, 7, 6, 5, 4, 3, 2, 2}, -1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

/// The landing card at the end: an image, JSON null (a card without an image), or none. The
/// display time runs from the start of the video to the card's close. Shown again, the ad
/// builds a new player for the local file (the server no longer has it) and the countdowns
/// and the card start afresh, the card centred at the top as the first time.
class LandingCardTest : public VideoAdTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LandingCardTest, ShownAtTheEndTimedFromTheStartOfTheVideoAndAgain) {
  const std::string kind = GetParam();
  JSON data = videoData({{"skippableIn", 1}, {"duration", 3}});
  if (kind == "image") data["landingCard"] = "{server}/assets/card.png";
  if (kind == "null") data["landingCard"] = nullptr;
  initializeWith(data);
  ASSERT_TRUE(kind != "image" ||
              runUntil([&] { return ad()->landingCard->imageView->image != nullptr; }));
  std::vector<std::string> events = {"onInit:[p]", "onAdReady:p"};
  std::shared_ptr<VideoPlayerViewController> previous;
  std::optional<Rect> placed;
  for (int showing = 1; showing <= 2; ++showing) {
    showAndStart();
    events.push_back("onAdShown:p");
    const auto player = ad()->playerVC.lock();
    EXPECT_NE(player, previous);
    previous = player;
    EXPECT_EQ(video().skippableLabel->text, "Skippable in 1 seconds");
    runLoop().advance(3.3);
    if (kind != "none") {
      const auto container = std::dynamic_pointer_cast<AdContainerView>(top()->view());
      ASSERT_TRUE(container);
      EXPECT_EQ(top()->presentingViewController(), player);
      const auto image = ad()->landingCard->imageView;
      EXPECT_EQ(image->superview(), container->contentView);
      EXPECT_EQ(image->image ? image->image->width() : 0, kind == "image" ? 300 : 0);
      if (!placed) placed = image->frameInRoot();
      EXPECT_EQ(image->frameInRoot(), *placed) << "showing " << showing;
      if (kind == "image") {
        // The card's shape, as tall as the room below the close button's margin, centred.
        const Rect card = image->frameInRoot();
        EXPECT_NEAR(card.y, 20, 1e-9);
        EXPECT_NEAR(card.height, 354, 1e-9);
        EXPECT_NEAR(card.width / card.height, 300.0 / 250, 1e-9);
        EXPECT_NEAR(card.x + card.width / 2, 448, 1e-9);
      }
      EXPECT_EQ(delegate->events, events);
      runLoop().advance(4);
      ASSERT_TRUE(driver.tap(driver.findById("close")));
      runLoop().advance(0.3);
    }
    events.push_back("onAdClose:p");
    EXPECT_EQ(top(), root());
    EXPECT_EQ(delegate->events, events);
    fs::remove(assets / "video.webm");
  }
  const std::string close = kind == "none" ? "/t/close?length=3" : "/t/close?length=7";
  expectBeacons({close, close, "/t/imp", "/t/imp"});
}

INSTANTIATE_TEST_SUITE_P(Cards, LandingCardTest, ::testing::Values("image", "null", "none"));

/// Shown over the host's screen, turned to landscape, the impression once the presentation
/// completed; "Get Application" invisible (not tappable) until one second after playback
/// starts, then at its target alpha at once; a tap stops the video for good and clicks
/// through only with a click URL.
class GetApplicationTest : public VideoAdTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GetApplicationTest, FadesInThenStopsTheVideoAndClicksThroughOnlyWithAClickUrl) {
  const bool withClick = GetParam();
  JSON data = videoData({{"skippableIn", 0}, {"duration", 8}});
  if (!withClick) data.erase("clk");
  initializeWith(data);
  ASSERT_FALSE(isLandscape(Application::shared().statusBarOrientation()));
  sdk().showAd(root(), "p");
  driver.settle();
  const auto player = ad()->playerVC.lock();
  EXPECT_EQ(top(), player);
  EXPECT_TRUE(isLandscape(Application::shared().statusBarOrientation()));
  EXPECT_FALSE(delegate->has("onAdShown:p"));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events, kShown);
  EXPECT_EQ(driver.find<ActivityIndicatorView>(), nullptr);

  const auto label = driver.findByTitle("Get Application");
  ASSERT_TRUE(label);
  runLoop().advance(0.99);
  EXPECT_EQ(label->alpha, 0);
  EXPECT_FALSE(driver.tap(label));
  runLoop().advance(0.02);
  EXPECT_EQ(label->alpha, 1);
  ASSERT_TRUE(driver.tap(label));
  EXPECT_TRUE(overlayHidden());
  driver.sendToBackground();
  driver.bringToForeground();  // the stopped video stays stopped
  EXPECT_EQ(player->player()->rate(), 0);

  const auto web = std::dynamic_pointer_cast<WebView>(driver.findById("click-through"));
  EXPECT_EQ(web != nullptr, withClick);
  if (withClick) {
    EXPECT_EQ(web->superview(), player->view());
    EXPECT_EQ(delegate->events.back(), "onAdClick:p");
    driver.finishLoading(web);
    ASSERT_TRUE(driver.tap(driver.findByTitle("Go Back")));
  }
  runLoop().advance(10);
  // "Go Back" took the player away: the showing ends with its close and display time.
  EXPECT_EQ(top(), withClick ? root() : player);
  auto events = kShown;
  if (withClick) events.insert(events.end(), {"onAdClick:p", "onAdClose:p"});
  EXPECT_EQ(delegate->events, events);
  expectBeacons(withClick ? std::vector<std::string>{"/t/click", "/t/close?length=1", "/t/imp"}
                          : std::vector<std::string>{"/t/imp"});
}

INSTANTIATE_TEST_SUITE_P(Clicks, GetApplicationTest, ::testing::Bool());

/// A video that cannot play: a WebM signature over garbage (no landing card), or a real video
/// that fails part way (with a landing card). The spinner goes, "Skip" works at once whatever
/// the countdown said, one console line says why, and leaving ends the ad as a skip does.
class UnplayableVideoTest : public VideoAdTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnplayableVideoTest, LeavesTheUserAWayOut) {
  const bool midway = GetParam();
  JSON data = videoData({{"skippableIn", 5}, {"duration", 8}});
  if (midway) {
    data["landingCard"] = "{server}/assets/card.png";
  } else {
    // Passes the download's kind check, then fails in the player.
    std::ofstream(assets / "video.webm", std::ios::binary) << "\x1A\x45\xDF\xA3 not a video";
  }
  initializeWith(data);
  showAndStart();
  EXPECT_EQ(delegate->events, kShown);
  if (midway) {
    runLoop().advance(2);
    EXPECT_EQ(video().skippableLabel->text, "Skippable in 3 seconds");
    ASSERT_TRUE(driver.failPlayback(video().player, "decoding error"));
  }
  const auto spinner = driver.find<ActivityIndicatorView>();
  EXPECT_FALSE(spinner && spinner->isAnimating());
  EXPECT_EQ(video().skippableLabel->text, "Skip");
  EXPECT_EQ(logCount("Video playback failed: "), 1);
  EXPECT_TRUE(logged(midway ? "Video playback failed: decoding error"
                            : "Video playback failed: not a playable video or audio file"));

  runLoop().advance(3);
  EXPECT_EQ(delegate->events, kShown);
  ASSERT_TRUE(driver.tap(driver.findById("skip")));
  runLoop().advance(0.3);
  if (midway) {
    ASSERT_TRUE(driver.tap(driver.findById("close")));
    runLoop().advance(0.3);
  }
  EXPECT_EQ(top(), root());
  EXPECT_EQ(delegate->events, kClosed);
  expectBeacons({midway ? "/t/close?length=5" : "/t/close?length=3", "/t/imp"});
  EXPECT_EQ(logCount("Video playback failed: "), 1);
}

INSTANTIATE_TEST_SUITE_P(Failures, UnplayableVideoTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Midway" : "AtOnce"; });

/// Which sound icons the server has: the button needs the sound-off icon when the overlay is
/// built, and toggles only with both.
class SoundTest : public VideoAdTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SoundTest, ToggleAlternatesOnlyWithBothIcons) {
  const std::string kind = GetParam();
  const bool on = kind != "off_icon_only", off = kind != "on_icon_only";
  if (!on) fs::remove(assets / "ic_sound_on.png");
  if (!off) fs::remove(assets / "ic_sound_off.png");
  initializeWith(videoData({{"skippableIn", 0}, {"duration", 8}}));
  ASSERT_TRUE(runUntil([&] {
    return Asset::iconSoundOnPath.has_value() == on && Asset::iconSoundOffPath.has_value() == off &&
           logCount("download failed: ") == (on && off ? 0 : 1);
  }));
  showAndStart();
  const auto button = std::dynamic_pointer_cast<Button>(driver.findById("sound"));
  ASSERT_EQ(button != nullptr, off);
  EXPECT_EQ(video().player->volume(), 0);
  if (!button) return;

  const auto soundOff = Image::contentsOfFile(kServerAssets / "ic_sound_off.png")->rgba();
  const auto soundOn = Image::contentsOfFile(kServerAssets / "ic_sound_on.png")->rgba();
  EXPECT_EQ(button->image()->rgba(), soundOff);
  for (int tap = 1; tap <= 3; ++tap) {
    ASSERT_TRUE(driver.tap(button));
    const bool up = on && tap % 2 == 1;
    EXPECT_EQ(video().player->volume(), up ? 1 : 0) << "tap " << tap;
    EXPECT_EQ(button->image()->rgba(), up ? soundOn : soundOff) << "tap " << tap;
  }
}

INSTANTIATE_TEST_SUITE_P(Icons, SoundTest,
                         ::testing::Values("both_icons", "off_icon_only", "on_icon_only"));

/// Shows a skippable video with both sound icons in a window of `size`; it has played a second
/// and a half, so the countdowns have texts and "Get Application" has faded in.
class OverlayTest : public VideoAdTest {
 protected:
  void showPlaying(Size size) {
    Application::shared().screenDidResize(size);
    initializeWith(videoData({{"skippableIn", 5}, {"duration", 8}}));
    ASSERT_TRUE(runUntil([] { return Asset::iconSoundOffPath && Asset::iconSoundOnPath; }));
    showAndStart();
    runLoop().advance(1.5);
    overlay = ad()->playerVC.lock()->contentOverlayView();
    controls = {video().skippableLabel, video().redirectLabel, video().remainingTimeLabel,
                video().soundToggleButton};
  }
  std::shared_ptr<View> overlay;
  std::vector<std::shared_ptr<View>> controls;
};

/// The overlay drawn alone over a picture of one colour, as the window draws it over a video.
class OverPicture {
 public:
  OverPicture(const View& overlay, double grey) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(overlay.frame.width),
                                          static_cast<int>(overlay.frame.height));
    cairo_t* cr = cairo_create(surface_);
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_paint(cr);
    render::drawViewTree(cr, overlay);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  }
  ~OverPicture() { cairo_surface_destroy(surface_); }
  OverPicture(const OverPicture&) = delete;
  OverPicture& operator=(const OverPicture&) = delete;

  /// The relative luminance of a pixel, 0 to 1, as contrast ratios are counted.
  double luminance(double x, double y) const {
    const auto* row = cairo_image_surface_get_data(surface_) +
                      static_cast<int>(y) * cairo_image_surface_get_stride(surface_);
    const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x)];
    const auto linear = [](std::uint32_t channel) {
      const double c = channel / 255.0;
      return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(word >> 16 & 0xFF) + 0.7152 * linear(word >> 8 & 0xFF) +
           0.0722 * linear(word & 0xFF);
  }
  /// The brightest pixel of `box` and the rows holding pixels that bright.
  std::pair<double, int> brightest(const Rect& box) const {
    double most = 0;
    for (double y = box.y; y < box.y + box.height; ++y)
      for (double x = box.x; x < box.x + box.width; ++x) most = std::max(most, luminance(x, y));
    int top = -1, bottom = -1;
    for (double y = box.y; y < box.y + box.height; ++y) {
      for (double x = box.x; x < box.x + box.width; ++x) {
        if (luminance(x, y) < most * 0.8) continue;
        if (top < 0) top = static_cast<int>(y);
        bottom = static_cast<int>(y);
      }
    }
    return {most, top < 0 ? 0 : bottom - top + 1};
  }

 private:
  cairo_surface_t* surface_;
};

double contrast(double lighter, double darker) {
  return (lighter + 0.05) / (darker + 0.05);
}

// On a television the texts are legible from the sofa: at 1920x1080 each is at least 2.5% of
// the window's height, light on a dark scrim that keeps it readable over a white picture and a
// black one alike.
TEST_F(OverlayTest, TextsAreLargeAndReadOnTheirScrimOverAnyPicture) {
  showPlaying({1920, 1080});
  ASSERT_EQ(overlay->frame.size(), (Size{1920, 1080}));
  ASSERT_EQ(video().skippableLabel->text, "Skippable in 4 seconds");
  ASSERT_EQ(video().redirectLabel->alpha, 1);
  for (const double picture : {1.0, 0.0}) {
    const OverPicture drawn(*overlay, picture);
    for (const auto& label :
         {video().skippableLabel, video().redirectLabel, video().remainingTimeLabel}) {
      SCOPED_TRACE(label->text + (picture > 0 ? " over white" : " over black"));
      EXPECT_GE(label->font.size, 0.025 * 1080);
      const Rect box = label->frameInRoot();
      const auto [text, rows] = drawn.brightest(box);
      // Drawn at that size: capitals and ascenders are about three quarters of the em.
      EXPECT_GE(rows, 0.7 * label->font.size);
      // The scrim between the frame's edge (or border) and the text.
      const double edge = std::max(label->textInsets.left / 2, label->layer.borderWidth + 1);
      const double scrim = label->textInsets.left > 0
                               ? drawn.luminance(box.x + edge, box.y + box.height / 2)
                               : drawn.luminance(box.x + box.width / 2, box.y + edge);
      EXPECT_GE(contrast(text, scrim), 4.5) << "text " << text << ", scrim " << scrim;
    }
  }
}

// The overlay grows with the window, anew at every size it takes while playing (a window
// resized, the screen turned), keeps a phone's layout on a phone, and wherever it is shown
// nothing overlaps and nothing leaves the window.
TEST_F(OverlayTest, GrowsWithTheWindowWithoutOverlapsOrLeavingIt) {
  // A phone: the landscape-only player turns the screen.
  showPlaying({414, 896});
  ASSERT_EQ(overlay->frame.size(), (Size{896, 414}));
  EXPECT_EQ(video().redirectLabel->frameInRoot(), (Rect{896 - 4 - 140, 4, 140, 26}));
  EXPECT_EQ(video().skippableLabel->frameInRoot().origin(), (Point{4, 4}));
  const Rect sound = video().soundToggleButton->frameInRoot();
  EXPECT_EQ(sound.x, 8);
  EXPECT_EQ(sound.y + sound.height, 414 - 4);
  EXPECT_EQ(video().soundToggleButton->imageSize, (Size{32, 32}));

  for (const Size window : {Size{1280, 720}, Size{1920, 1080}, Size{3840, 2160}, Size{1080, 1920},
                            Size{400, 300}, Size{896, 414}}) {
    SCOPED_TRACE(std::to_string(window.width) + "x" + std::to_string(window.height));
    Application::shared().screenDidResize(window);
    driver.settle();
    const Rect bounds = overlay->frameInRoot();
    ASSERT_EQ(bounds.size(), window);
    const double shortSide = std::min(window.width, window.height);
    const double scale = video().skippableLabel->font.size / 16;
    // A phone's sizes up to a 640-point short side, then at least 2.5% of it.
    EXPECT_GE(video().skippableLabel->font.size, std::max(16.0, 0.025 * shortSide) - 1e-9);
    EXPECT_EQ(video().redirectLabel->frame.size(), (Size{140 * scale, 26 * scale}));
    EXPECT_EQ(video().soundToggleButton->imageSize, (Size{32 * scale, 32 * scale}));
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const Rect a = controls[i]->frameInRoot();
      EXPECT_TRUE(a.x >= bounds.x && a.y >= bounds.y && a.x + a.width <= bounds.x + bounds.width &&
                  a.y + a.height <= bounds.y + bounds.height)
          << controls[i]->typeName() << " " << controls[i]->describeContent()
          << " leaves the window";
      for (std::size_t j = i + 1; j < controls.size(); ++j) {
        const Rect b = controls[j]->frameInRoot();
        EXPECT_TRUE(a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                    b.y + b.height <= a.y)
            << controls[i]->typeName() << " " << controls[i]->describeContent() << " overlaps "
            << controls[j]->typeName() << " " << controls[j]->describeContent();
      }
    }
  }
  EXPECT_EQ(video().redirectLabel->frameInRoot(), (Rect{896 - 4 - 140, 4, 140, 26}));
}

// Icons already in the caches folder are taken from there, before preload returns, and
// never requested (the server does not have them).
TEST_F(VideoAdTest, IconsInTheCachesFolderAreNotRequested) {
  startServer(oneAdCampaign("v1", "video", videoData()), assets);
  std::vector<std::string> cached;
  for (const char* icon : {"ic_sound_on.png", "ic_sound_off.png"}) {
    fs::remove(assets / icon);
    const auto path = FileLoader::localPath(folder.path() / "caches" / "zelvora" / "default",
                                            server->baseUrl() + "/assets/" + icon);
    fs::create_directories(path.parent_path());
    fs::copy_file(kServerAssets / icon, path);
    cached.push_back(path.string());
  }
  initializeAndWait("app");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  bool marker = false;
  FileLoader::loadFile(server->baseUrl() + "/assets/card.png", [&](auto&) { marker = true; });
  ASSERT_TRUE(runUntil([&] { return marker; }));
  EXPECT_FALSE(logged("download failed: "));

  Asset::iconSoundOnPath.reset();
  Asset::iconSoundOffPath.reset();
  ad()->preload();
  EXPECT_EQ(Asset::iconSoundOnPath, cached[0]);
  EXPECT_EQ(Asset::iconSoundOffPath, cached[1]);
}

// By the time the host hears the ad is ready the player names the local file, so that a showing
// asked for from that callback plays it.
TEST_F(VideoAdTest, ReadyWithThePlayerOnTheLocalFile) {
  std::optional<std::string> urlAtReady;
  delegate->observer = [&](const std::string& event) {
    if (event == "onAdReady:p") urlAtReady = video().url;
  };
  initializeWith(videoData({{"duration", 8}}));
  const std::string local = video().url.value_or("");
  EXPECT_EQ(urlAtReady, local);
  ASSERT_EQ(local.rfind("file://", 0), 0u) << local;
  EXPECT_TRUE(fs::exists(local.substr(7)));
  showAndStart();
  runLoop().advance(2);
  ASSERT_TRUE(driver.find<VideoView>());
  EXPECT_EQ(driver.find<VideoView>()->describeContent(), local + " 2.0s");
}

/// The end of the video when the host released its screen (no card), or dismissed the player
/// itself (with a card): nothing is presented, no close is reported, nothing crashes.
class GoneTest : public VideoAdTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GoneTest, EndSkipsWhatNeedsAViewControllerThatIsGone) {
  const bool hostReleased = GetParam();
  JSON data = videoData({{"duration", 2}});
  if (!hostReleased) data["landingCard"] = "{server}/assets/card.png";
  initializeWith(data);
  auto host = hostReleased ? std::make_shared<ViewController>() : root();
  if (hostReleased) root()->present(host, false);
  driver.settle();
  sdk().showAd(host, "p");
  runLoop().advance(0.3);
  root()->dismiss(false);  // the host takes its screen away
  driver.settle();
  std::weak_ptr<ViewController> watch = host;
  host.reset();
  ASSERT_EQ(watch.expired(), hostReleased);
  runLoop().advance(3);
  EXPECT_TRUE(ad()->playerVC.expired());
  EXPECT_EQ(root()->presentedViewController(), nullptr);
  EXPECT_EQ(delegate->events, kShown);
}

INSTANTIATE_TEST_SUITE_P(Hosts, GoneTest, ::testing::Bool());

/// Video addresses that are no URL (an empty one included): never ready, the host told why,
/// and a showing fails.
class BadVideoTest : public VideoAdTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadVideoTest, NeverReady) {
  const std::string kind = GetParam();
  JSON data = videoData({{"duration", 8}});
  if (kind == "space") data["video"] = "{server}/assets/my video.webm";
  if (kind == "empty") data["video"] = "";
  if (kind == "missing") data.erase("video");
  initializeWith(data, false);
  bool marker = false;
  FileLoader::loadFile(server->baseUrl() + "/assets/video.webm", [&](auto&) { marker = true; });
  ASSERT_TRUE(runUntil([&] { return marker; }));
  sdk().showAd(root(), "p");
  runLoop().advance(1);
  EXPECT_EQ(top(), root());
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onAdFailedToShow:p"}));
  EXPECT_EQ(delegate->loading, std::vector<std::string>{"failed:p:306"});
  EXPECT_FALSE(sdk().isReady("p"));
}

INSTANTIATE_TEST_SUITE_P(Addresses, BadVideoTest, ::testing::Values("space", "empty", "missing"));

}  // namespace
}  // namespace zelvora::test
