// A keyboard's or a remote's user on every format, against the reference server: Tab visits the
// SDK's controls and the page in reading order and cycles inside the ad's screen, Enter and
// Space act as a tap, Escape leaves exactly when the close control (or Skip, or "Go Back") could
// be tapped, and never before.
#include <functional>

#include "support/FormatTest.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::test {
namespace {

using namespace platform;

JSON videoData(int skippableIn) {
  return {{"video", "{server}/assets/video.webm"},
          {"clk", "{server}/t/click"},
          {"skippableIn", skippableIn},
          {"duration", 8}};
}

JSON vastData() {
  return {{"vastXml",
           "<VAST version=\"4.2\"><Ad><InLine><AdSystem>t</AdSystem><AdTitle>t</AdTitle>"
           "<Impression>{server}/t/vast-imp</Impression><Creatives><Creative>"
           "<Linear skipoffset=\"00:00:02\"><Duration>00:00:08</Duration><MediaFiles>"
           "<MediaFile delivery=\"progressive\" type=\"video/webm\" width=\"320\" height=\"180\">"
           "{server}/assets/video.webm</MediaFile></MediaFiles><VideoClicks><ClickThrough>"
           "{server}/t/click</ClickThrough></VideoClicks></Linear></Creative></Creatives>"
           "</InLine></Ad></VAST>"}};
}

struct Format {
  friend std::ostream& operator<<(std::ostream& out, const Format& row) { return out << row.name; }
  const char* name;
  const char* subtype;
  JSON data;
  /// Seconds of playback before the keys, or -1: a tap on the banner first (the landing page).
  double wait = 0;
  /// The focus order, by accessible name (the type's name for a page).
  std::vector<std::string> order;
  /// Whether Escape leaves the ad at that moment.
  bool escapeCloses = true;
};

class KeyboardTest : public FormatTest, public ::testing::WithParamInterface<Format> {
 protected:
  /// Shows the ad of `format` and lets `wait` pass.
  void show(const Format& format) {
    showFormat(format.subtype, format.data);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(onScreen());
    if (format.wait < 0) {
      ASSERT_TRUE(driver.tap(driver.findById("banner")));
    }
    for (double t = 0; t < format.wait; t += 0.5) runLoop().advance(0.5);
  }
  bool onScreen() const { return root()->presentedViewController() != nullptr; }
  bool closed() const { return delegate->has("onAdClose:p"); }
  static std::string name(const std::shared_ptr<View>& view) {
    if (!view) return "(none)";
    return view->accessibilityLabel.empty() ? view->typeName() : view->accessibilityLabel;
  }
  std::string focused() const { return name(driver.focusedView()); }
};

TEST_P(KeyboardTest, TabCyclesInsideTheAdAndEscapeLeavesWhenTheCloseControlWould) {
  const Format& format = GetParam();
  show(format);
  if (HasFatalFailure()) return;
  const auto screen = top()->view();

  std::vector<std::string> visited;
  for (std::size_t i = 0; i <= format.order.size(); ++i) {
    EXPECT_TRUE(driver.press(Key::tab));
    visited.push_back(focused());
    ASSERT_TRUE(driver.focusedView() && driver.focusedView()->isDescendant(*screen))
        << "focus left the ad's screen: " << visited.back();
  }
  auto cycle = format.order;
  cycle.push_back(format.order.front());
  EXPECT_EQ(visited, cycle);
  EXPECT_TRUE(driver.press(Key::backtab));
  EXPECT_EQ(focused(), format.order.back());
  EXPECT_TRUE(driver.press(Key::down));
  EXPECT_EQ(focused(), format.order.front());

  EXPECT_EQ(driver.press(Key::escape), format.escapeCloses);
  runLoop().advance(0.5);
  EXPECT_EQ(closed(), format.escapeCloses) << driver.dumpScreen();
  EXPECT_EQ(onScreen(), !format.escapeCloses);
  // Back on the host's screen, keys are the host's.
  if (format.escapeCloses) {
    EXPECT_FALSE(driver.press(Key::tab));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, KeyboardTest,
    ::testing::Values(Format{"Banner",
                             "banner",
                             {{"ctv", "{server}/assets/banner.png"}, {"clk", "{server}/t/click"}},
                             0,
                             {"Close ad", "Open ad"}},
                      // Tapping the banner lays the landing page over the ad, the close button
                      // above it: Escape from the page goes back as "Go Back" does.
                      Format{"LandingPage",
                             "banner",
                             {{"ctv", "{server}/assets/banner.png"}, {"clk", "{server}/t/click"}},
                             -1,
                             {"WebView", "Close ad", "Go Back"}},
                      // Before "Get Application" fades in and before "Skip": only the sound button.
                      Format{"VideoBeforeSkip", "video", videoData(5), 0, {"Unmute"}, false},
                      Format{"VideoAfterSkip",
                             "video",
                             videoData(2),
                             3,
                             {"Skip video", "Get Application", "Unmute"}},
                      Format{"VastBeforeSkip", "videoVast", vastData(), 0, {"Unmute"}, false},
                      Format{"VastAfterSkip",
                             "videoVast",
                             vastData(),
                             3,
                             {"Skip video", "Get Application", "Unmute"}},
                      Format{"Html",
                             "html",
                             {{"markup", "<a href='https://example.com/landing'>Visit</a>"}},
                             0,
                             {"Close ad", "WebView"}},
                      Format{"Mraid",
                             "mraidTag",
                             {{"isMraid", true},
                              {"markup", "<script src='mraid.js'></script><p>creative</p>"}},
                             0,
                             {"Close ad", "WebView"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Enter and Space act as a tap on the focused control: the sound button's name follows its
// state, and the close button closes; on a page they are the page's, not the SDK's.
TEST_F(KeyboardTest, EnterAndSpaceActAsATap) {
  show({"", "video", videoData(2), 3, {}});
  if (HasFatalFailure()) return;
  while (focused() != "Unmute") ASSERT_TRUE(driver.press(Key::tab));
  EXPECT_TRUE(driver.press(Key::space));
  EXPECT_EQ(focused(), "Mute");
  EXPECT_TRUE(driver.press(Key::up));
  EXPECT_EQ(focused(), "Get Application");
  EXPECT_TRUE(driver.press(Key::left));
  EXPECT_EQ(focused(), "Skip video");
  EXPECT_TRUE(driver.press(Key::enter));
  runLoop().advance(0.5);
  EXPECT_TRUE(closed());
}

TEST_F(KeyboardTest, EnterOnAPageIsThePages) {
  show({"", "html", {{"markup", "<p>ad</p>"}}, 0, {}});
  if (HasFatalFailure()) return;
  EXPECT_TRUE(driver.press(Key::backtab));
  ASSERT_EQ(focused(), "WebView");
  EXPECT_FALSE(driver.press(Key::enter));
  EXPECT_TRUE(driver.press(Key::tab));
  ASSERT_EQ(focused(), "Close ad");
  EXPECT_TRUE(driver.press(Key::enter));
  runLoop().advance(0.5);
  EXPECT_TRUE(closed());
}

}  // namespace
}  // namespace zelvora::test
