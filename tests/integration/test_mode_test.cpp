// Test mode on every format against the reference server: a user shows the ad, clicks through
// where it has a click and leaves (a VAST ad whose media file is missing sends its error pixel
// instead). The host hears the same events with test mode on and off; with it on, the server
// receives no tracking request at all (each is logged instead) and every screen of the ad
// carries the "Test ad" mark in its bottom-left corner, on top of the ad and clear of its
// controls; with it off, the beacons arrive and no screen is marked.
#include <regex>
#include <sstream>

#include "support/FormatTest.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::test {
namespace {

using namespace platform;

const std::string kNotSent = "Test mode: tracking request not sent: ";

JSON beaconsFor(const std::string& ad) {
  return {{"imp", "{server}/t/imp?ad=" + ad},
          {"extraImpBeacon", "{server}/t/imp2?ad=" + ad},
          {"adCloseBeaconUrl", "{server}/t/close?ad=" + ad + "&length={length}"}};
}

JSON with(JSON data, const JSON& members) {
  data.update(members);
  return data;
}

const std::string kVast =
    "<VAST version=\"4.2\"><Ad><InLine><AdSystem>t</AdSystem><AdTitle>t</AdTitle>"
    "<Impression>{server}/t/vast/imp</Impression><Error>{server}/t/vast/error</Error>"
    "<Creatives><Creative><Linear skipoffset=\"00:00:02\"><Duration>00:00:08</Duration>"
    "<MediaFiles><MediaFile delivery=\"progressive\" type=\"video/webm\" width=\"320\" "
    "height=\"180\">{server}/assets/video.webm</MediaFile></MediaFiles><TrackingEvents>"
    "<Tracking event=\"start\">{server}/t/vast/start</Tracking>"
    "<Tracking event=\"closeLinear\">{server}/t/vast/closeLinear</Tracking></TrackingEvents>"
    "<VideoClicks><ClickThrough>{server}/assets/landing.html</ClickThrough>"
    "<ClickTracking>{server}/t/vast/click</ClickTracking></VideoClicks></Linear></Creative>"
    "</Creatives></InLine></Ad></VAST>";

struct Format {
  friend std::ostream& operator<<(std::ostream& out, const Format& row) { return out << row.name; }
  const char* name;
  const char* subtype;
  JSON data;
  /// The user's way through the ad once it is shown: "look" (at the screen's mark), "wait
  /// <seconds>", "tap <identifier or title>", "navigate" (the page follows a link).
  std::vector<std::string> steps;
  /// What the host hears.
  std::vector<std::string> events;
  /// What the server receives with test mode off, sorted.
  std::vector<std::string> beacons;
};

const std::vector<std::string> kClicked = {"onInit:[p]", "onAdReady:p", "onAdShown:p",
                                           "onAdClick:p", "onAdClose:p"};

std::vector<Format> formats() {
  return {
      {"Banner",
       "banner",
       with(beaconsFor("b"),
            {{"ctv", "{server}/assets/banner.png"}, {"clk", "{server}/t/click?ad=b"}}),
       {"look", "tap banner", "tap Go Back"},
       kClicked,
       {"/t/click?ad=b", "/t/close?ad=b&length=0", "/t/imp2?ad=b", "/t/imp?ad=b"}},
      // The video's screen, then its landing card's.
      {"HouseVideo",
       "video",
       with(beaconsFor("v"), {{"video", "{server}/assets/video.webm"},
                              {"duration", 8},
                              {"skippableIn", 2},
                              {"landingCard", "{server}/assets/banner.png"},
                              {"clk", "{server}/t/click?ad=v"}}),
       {"look", "wait 2", "tap skip", "wait 0.3", "look", "tap banner", "tap Go Back"},
       kClicked,
       {"/t/click?ad=v", "/t/close?ad=v&length=3", "/t/imp2?ad=v", "/t/imp?ad=v"}},
      {"Vast",
       "videoVast",
       {{"vastXml", kVast}, {"adCloseBeaconUrl", "{server}/t/close?ad=vast&length={length}"}},
       {"look", "wait 4.5", "tap Get Application", "tap Go Back"},
       kClicked,
       {"/t/close?ad=vast&length=5", "/t/vast/click", "/t/vast/closeLinear", "/t/vast/imp",
        "/t/vast/start"}},
      // Its media file is missing: the error pixel instead of a showing.
      {"VastError",
       "videoVast",
       {{"vastXml", std::regex_replace(kVast, std::regex("video\\.webm"), "missing.webm")}},
       {},
       {"onInit:[p]", "onNoAds:p"},
       {"/t/vast/error"}},
      {"Html",
       "html",
       with(beaconsFor("h"), {{"markup", "<a href='https://example.com/landing'>Visit</a>"},
                              {"clickTracking", "{server}/t/click?ad=h"}}),
       {"look", "navigate", "tap Go Back"},
       // Its page is loaded at once: ready before the placements are announced.
       {"onAdReady:p", "onInit:[p]", "onAdShown:p", "onAdClick:p", "onAdClose:p"},
       {"/t/click?ad=h", "/t/close?ad=h&length=0", "/t/imp2?ad=h", "/t/imp?ad=h"}},
      // Its page's loads are metrics; closed, it loads again to stay ready.
      {"Mraid",
       "mraidTag",
       with(beaconsFor("m"),
            {{"isMraid", true}, {"markup", "<script src='mraid.js'></script><p>creative</p>"}}),
       {"look", "tap close"},
       {"onInit:[p]", "onAdReady:p", "onAdShown:p", "onAdClose:p"},
       {"/t/close?ad=m&length=0", "/t/imp2?ad=m", "/t/imp?ad=m", "/t/imp?ad=m&metric=adLoad",
        "/t/imp?ad=m&metric=adLoad"}},
  };
}

bool overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

class TestModeTest : public FormatTest,
                     public ::testing::WithParamInterface<std::tuple<Format, bool>> {
 protected:
  void show(const Format& format) { showFormat(format.subtype, format.data); }

  /// Whether the screen on top is marked. A mark lies inside it, in its bottom-left quarter,
  /// with nothing drawn over it and none of the SDK's controls (buttons, tappable texts) under
  /// it; the ad beneath takes the taps on it.
  bool marked() {
    const auto screen = top()->view();
    std::vector<std::shared_ptr<View>> views;
    for (const auto& view : driver.visibleViews())
      if (view->isDescendant(*screen)) views.push_back(view);
    const auto mark = std::find_if(views.begin(), views.end(), [](const auto& view) {
      return view->accessibilityIdentifier == "test-ad";
    });
    if (mark == views.end()) return false;
    const auto label = std::dynamic_pointer_cast<Label>(*mark);
    EXPECT_TRUE(label && label->text == "Test ad");
    const Rect box = (*mark)->frameInRoot();
    const Rect bounds = screen->frameInRoot();
    EXPECT_TRUE(box.width > 0 && box.x >= bounds.x && box.y >= bounds.y &&
                box.x + box.width <= bounds.x + bounds.width &&
                box.y + box.height <= bounds.y + bounds.height)
        << "the mark leaves the screen";
    EXPECT_LT(box.center().x, bounds.center().x);
    EXPECT_GT(box.center().y, bounds.center().y);
    EXPECT_NE(driver.hitTest(box.center()), *mark);
    for (auto view = views.begin(); view != views.end(); ++view) {
      const bool control =
          std::dynamic_pointer_cast<Button>(*view) ||
          (std::dynamic_pointer_cast<Label>(*view) && !(*view)->gestureRecognizers().empty());
      if (view != mark && (view > mark || control) && overlap(box, (*view)->frameInRoot()))
        ADD_FAILURE() << (*view)->typeName() << " " << (*view)->describeContent() << " #"
                      << (*view)->accessibilityIdentifier << " overlaps the mark";
    }
    return true;
  }

  void play(const std::string& step, std::vector<bool>& marks) {
    std::istringstream words(step);
    std::string verb, what;
    words >> verb >> std::ws;
    std::getline(words, what);
    if (verb == "look") {
      marks.push_back(marked());
    } else if (verb == "wait") {
      runLoop().advance(std::stod(what));
    } else if (verb == "tap") {
      auto view = driver.findById(what);
      ASSERT_TRUE(driver.tap(view ? view : driver.findByTitle(what))) << driver.dumpScreen();
      runLoop().advance(0.3);
    } else if (verb == "navigate") {
      driver.startNavigation(firstAdOf<InterstitialHtml>()->webView, "https://example.com/landing");
    }
  }

  /// The tracking requests logged instead of sent, as server targets.
  std::vector<std::string> notSent() const {
    std::vector<std::string> targets;
    for (const auto& line : lines)
      if (line.starts_with(kNotSent))
        targets.push_back(line.substr(kNotSent.size() + server->baseUrl().size()));
    std::sort(targets.begin(), targets.end());
    return targets;
  }
};

TEST_P(TestModeTest, SendsNoTrackingAndMarksEveryScreen) {
  const auto& [format, testMode] = GetParam();
  sdk().setAdSettings({.testMode = testMode});
  show(format);
  if (HasFatalFailure()) return;
  std::vector<bool> marks;
  for (const auto& step : format.steps) {
    SCOPED_TRACE(step);
    play(step, marks);
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(top(), root());
  EXPECT_EQ(marks, std::vector<bool>(marks.size(), testMode));

  EXPECT_EQ(delegate->events, format.events);
  if (testMode) {
    expectBeacons({});
    EXPECT_EQ(notSent(), format.beacons);
  } else {
    EXPECT_TRUE(notSent().empty());
    expectBeacons(format.beacons);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, TestModeTest,
                         ::testing::Combine(::testing::ValuesIn(formats()), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "InTestMode" : "Live");
                         });

}  // namespace
}  // namespace zelvora::test
