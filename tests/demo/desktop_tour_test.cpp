// The demo's tour in a real window (--desktop): WebKit runs the pages and their scripts, the
// clock is the real one, and every placement must come out as on the headless tour.

#include <memory>
#include <set>

#include "demo/SampleTour.h"
#include "zelvora/platform/ui/Image.h"

namespace zelvora::test {
namespace {
using namespace demo_tour;

/// One tour, a minute of real time, serves every check.
class DesktopTour : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = std::make_unique<TemporaryFolder>();
    run = std::make_unique<DemoRun>(
        runDemo(*folder, "--desktop --quiet --snapshots '" + snapshots().string() + "'"));
  }
  static void TearDownTestSuite() {
    run.reset();
    folder.reset();
  }
  static fs::path snapshots() { return folder->path() / "snapshots"; }

  static inline std::unique_ptr<TemporaryFolder> folder;
  static inline std::unique_ptr<DemoRun> run;
};

TEST_F(DesktopTour, EverySamplePlacementComesOutAsOnTheHeadlessTour) {
  ASSERT_TRUE(run->summary.is_object()) << run->output;
  EXPECT_EQ(run->exitCode, 0) << run->output;
  EXPECT_EQ(run->summary["allAsExpected"], true);
  EXPECT_EQ(run->summary["beaconsObserved"], true);
  EXPECT_EQ(strings(run->summary["otherBeacons"]), std::vector<std::string>{});
  std::vector<std::string> order;
  for (const auto& row : run->summary["placements"]) order.push_back(row["placement"]);
  EXPECT_EQ(order, answerOrder);
  for (auto [placement, expected] : sampleTour) {
    // The click-through opens the click address, which a real engine loads: the tracker hears
    // of the click a second time before it redirects to the landing page.
    if (placement == "banner-interstitial")
      expected.beacons.push_back("/t/click?ad=banner-1&to=/assets/landing.html");
    expectRow(run->summary, placement, expected);
  }
  expectImagesInPlaceOnTheSecondShowing(run->summary);
  expectMraidExposuresAndOrientation(run->summary);

  EXPECT_EQ(run->output.find("[demo]"), std::string::npos) << "not quiet";
  EXPECT_EQ(run->output.find("[sdk]"), std::string::npos) << "not quiet";
}

// Nothing plays the pages' side here: what they do, their own scripts did.
TEST_F(DesktopTour, ThePagesOwnScriptsActed) {
  const JSON* selfClosing = rowOf(run->summary, "mraid-interstitial");
  const JSON* opening = rowOf(run->summary, "mraid-open");
  ASSERT_TRUE(selfClosing && opening) << run->output;
  EXPECT_THAT(strings((*selfClosing)["steps"]),
              ::testing::Contains(::testing::StartsWith("closed itself after")));
  // Its countdown is five one-second timers, which never fire early.
  const std::string prefix = "/t/close?ad=mraid-1&length=";
  std::vector<int> lengths;
  for (const auto& beacon : strings((*selfClosing)["beacons"])) {
    if (beacon.rfind(prefix, 0) == 0) lengths.push_back(std::stoi(beacon.substr(prefix.size())));
  }
  EXPECT_THAT(lengths, ::testing::Contains(::testing::Ge(5)));

  // Recorded, not opened: the tour opens no browser.
  const auto opened = strings((*opening)["openedUrls"]);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_THAT(opened[0], ::testing::EndsWith("/assets/landing.html"));
}

// Screenshots of the window: the pages WebKit drew are in them, not the headless renderer's
// grey placeholder.
TEST_F(DesktopTour, SnapshotsArePicturesOfTheWindow) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(snapshots())) {
    SCOPED_TRACE(entry.path().string());
    names.insert(entry.path().stem().string());
    const auto picture = platform::Image::contentsOfFile(entry.path());
    ASSERT_TRUE(picture);
    // Portrait, or landscape for a video.
    EXPECT_EQ(std::set<int>({picture->width(), picture->height()}), std::set<int>({414, 896}));
  }
  for (const char* name : {"html-interstitial-shown", "html-no-script-click-through",
                           "mraid-open-shown", "video-with-landing-card-playing"})
    EXPECT_TRUE(names.contains(name)) << name;
  // A video turns the interface, and the window with it, to landscape.
  for (const char* name : {"video-with-landing-card-playing", "video-skippable-playing"}) {
    const auto picture =
        platform::Image::contentsOfFile(snapshots() / (std::string(name) + ".png"));
    ASSERT_TRUE(picture) << name;
    EXPECT_GT(picture->width(), picture->height()) << name;
  }

  // The HTML ad's "Install now" button, in the page's own green.
  const auto page = platform::Image::contentsOfFile(snapshots() / "html-interstitial-shown.png");
  ASSERT_TRUE(page);
  int green = 0;
  const auto& rgba = page->rgba();
  for (std::size_t at = 0; at + 3 < rgba.size(); at += 4) {
    if (std::abs(rgba[at] - 0x2f) < 12 && std::abs(rgba[at + 1] - 0xb3) < 12 &&
        std::abs(rgba[at + 2] - 0x5a) < 12)
      ++green;
  }
  EXPECT_GT(green, 2000) << "the page's button is not in the picture";
}

}  // namespace
}  // namespace zelvora::test
