// VAST ads against the reference server: documents of our own served under /vast/, the real
// 8-second video, trackers of every document of a chain in the order the ad sends them, and
// each error code's path from the document to the host.
#include <gmock/gmock.h>

#include "adunit/types/InterstitialVast.h"
#include "support/SdkTest.h"
#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/media/Gstreamer.h"

namespace zelvora::test {
namespace {

using namespace platform;
using ::testing::ElementsAre;

const fs::path kServerAssets =
    fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "assets";

/// Every tracker names its document and event, so the order of the trace tells the story.
std::string tracking(const std::string& doc, const std::vector<std::string>& events) {
  std::string xml = "<TrackingEvents>";
  for (const auto& event : events) {
    const bool progress = event.rfind("progress", 0) == 0;
    xml += "<Tracking event=\"" + std::string(progress ? "progress" : event) + "\"" +
           (progress ? " offset=\"" + event.substr(9) + "\"" : "") +
           "><![CDATA[{server}/t/v?doc=" + doc + "&ev=" + event + "&at=[ADPLAYHEAD]]]></Tracking>";
  }
  return xml + "</TrackingEvents>";
}

std::string common(const std::string& doc) {
  return "<Impression><![CDATA[{server}/t/v?doc=" + doc +
         "&ev=impression]]></Impression><Error><![CDATA[{server}/t/v?doc=" + doc +
         "&ev=error&code=[ERRORCODE]]]></Error>";
}

const std::vector<std::string> kAllEvents = {
    "creativeView",      "start", "firstQuartile", "midpoint", "thirdQuartile", "complete",
    "progress:00:00:02", "pause", "resume",        "mute",     "unmute",        "skip",
    "closeLinear"};

/// A VAST 4.2 inline ad: the sample video (or `media`), 8 s long, `linearExtra` inside the
/// <Linear> (a skipoffset goes in `linearAttributes`), `creativesExtra` after it.
std::string inlineDoc(const std::string& doc, const std::string& linearAttributes = "",
                      const std::string& linearExtra = "", const std::string& creativesExtra = "",
                      const std::string& media = "") {
  const std::string file =
      media.empty() ? "<MediaFile delivery=\"progressive\" type=\"video/webm\" width=\"640\" "
                      "height=\"360\">{server}/assets/video.webm</MediaFile>"
                    : media;
  return "<VAST version=\"4.2\"><Ad id=\"" + doc + "\"><InLine><AdSystem>test</AdSystem><AdTitle>" +
         doc + "</AdTitle>" + common(doc) + "<Creatives><Creative><Linear" + linearAttributes +
         "><Duration>00:00:08</Duration><MediaFiles>" + file + "</MediaFiles>" +
         tracking(doc, kAllEvents) + linearExtra + "</Linear></Creative>" + creativesExtra +
         "</Creatives></InLine></Ad></VAST>";
}

std::string wrapperDoc(const std::string& doc, const std::string& next,
                       const std::string& attributes = "") {
  return "<VAST version=\"4.2\"><Ad id=\"" + doc + "\"><Wrapper" + attributes +
         "><AdSystem>test</AdSystem>" + common(doc) + "<VASTAdTagURI><![CDATA[{server}/vast/" +
         next + "]]></VASTAdTagURI><Creatives><Creative><Linear>" +
         tracking(doc, {"start", "complete", "skip"}) +
         "<VideoClicks><ClickTracking><![CDATA[{server}/t/v?doc=" + doc +
         "&ev=click]]></ClickTracking></VideoClicks></Linear></Creative></Creatives></Wrapper>"
         "</Ad></VAST>";
}

class VastAdTest : public SdkTest {
 protected:
  VastAdTest() {
    fs::create_directories(assets);
    fs::create_directories(documents);
    fs::copy_file(kServerAssets / "sample-video.webm", assets / "video.webm");
    fs::copy_file(kServerAssets / "sample-landing-card.png", assets / "card.png");
    for (const char* icon : {"ic_sound_on.png", "ic_sound_off.png"})
      fs::copy_file(kServerAssets / icon, assets / icon);
  }

  /// Serves `docs` under /vast/ and initialises with placement "p" whose ad has `data`.
  void initializeWith(const std::map<std::string, std::string>& docs, const JSON& data,
                      VastSettings settings = {.enabled = true}, TransferLimits limits = {},
                      double assetBytesPerSecond = 0) {
    for (const auto& [name, xml] : docs) writeFile(documents / name, xml);
    server::ServerOptions options;
    options.campaigns = oneAdCampaign("a1", "videoVast", data);
    options.assetDirectory = assets;
    options.vastDirectory = documents;
    options.assetBytesPerSecond = assetBytesPerSecond;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    useServer(server->endpointUrl(), 60, {}, limits);
    sdk().setVastSettings(settings);
    initializeAndWait("app");
  }
  bool ready() {
    return runUntil([&] { return delegate->has("onAdReady:p") || delegate->has("onNoAds:p"); }) &&
           delegate->has("onAdReady:p");
  }
  /// The trackers the ad sent, in order, as "<doc>.<event>" (the rest of the URL left out).
  std::vector<std::string> sent() const {
    std::vector<std::string> trackers;
    for (const auto& line : lines) {
      const auto doc = line.find("doc=");
      if (line.rfind("VAST tracker ", 0) != 0 || doc == std::string::npos) continue;
      const auto ev = line.find("&ev=", doc);
      const auto end = line.find('&', ev + 4);
      trackers.push_back(line.substr(doc + 4, ev - doc - 4) + "." +
                         line.substr(ev + 4, end == std::string::npos ? end : end - ev - 4));
    }
    return trackers;
  }
  void showAndStart() {
    sdk().showAd(root(), "p");
    runLoop().advance(0.3);
  }

  fs::path assets = folder.path() / "assets";
  fs::path documents = folder.path() / "vast";
};

// While VAST is off, a "videoVast" ad is what it always was: never ready, nothing fetched.
TEST_F(VastAdTest, OffByDefaultTheAdNeverLoads) {
  initializeWith({{"inline.xml", inlineDoc("in")}}, {{"vastTagUrl", "{server}/vast/inline.xml"}},
                 VastSettings{});
  runLoop().advance(10);
  runUntil([] { return false; }, 0.5);
  EXPECT_EQ(delegate->events, std::vector<std::string>{"onInit:[p]"});
  EXPECT_FALSE(sdk().isReady("p"));
  for (const auto& request : server->served())
    EXPECT_EQ(request.target.find("/vast/"), std::string::npos) << request.target;
}

// Two wrappers to an inline ad with an end card: every document's trackers, once each and at
// their moments, through sound, the background and the end; a second showing sends them anew.
TEST_F(VastAdTest, ATwoWrapperChainPlaysWithEveryTrackerInOrder) {
  const std::string card =
      "<Creative><CompanionAds><Companion width=\"300\" height=\"250\"><StaticResource "
      "creativeType=\"image/png\">{server}/assets/card.png</StaticResource>" +
      tracking("card", {"creativeView"}) + "</Companion></CompanionAds></Creative>";
  initializeWith(
      {{"w1.xml", wrapperDoc("w1", "w2.xml")},
       {"w2.xml", wrapperDoc("w2", "inline.xml")},
       {"inline.xml", inlineDoc("in", "", "", card)}},
      {{"vastTagUrl", "{server}/vast/w1.xml?cb=[CACHEBUSTING]"}, {"imp", "{server}/t/imp"}});
  ASSERT_TRUE(ready());
  auto ad = firstAdOf<InterstitialVast>();
  ASSERT_TRUE(ad->landingCard && ad->landingCard->image()) << "ready before its end card";
  showAndStart();
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInit:[p]", "onAdReady:p", "onAdShown:p"}));
  EXPECT_EQ(std::dynamic_pointer_cast<Label>(driver.findById("skip"))->text, "")
      << "no skip control without a skipoffset";
  ASSERT_TRUE(driver.tap(driver.findById("sound")));
  ASSERT_TRUE(driver.tap(driver.findById("sound")));
  runLoop().advance(2);
  driver.sendToBackground();
  runLoop().advance(5);  // paused: no time passes for the video
  driver.bringToForeground();
  runLoop().advance(6.5);
  ASSERT_TRUE(driver.findById("close")) << "the end card";
  EXPECT_THAT(sent(),
              ElementsAre("w1.impression", "w2.impression", "in.impression", "in.creativeView",
                          "w1.start", "w2.start", "in.start", "in.unmute", "in.mute",
                          "in.firstQuartile", "in.progress:00:00:02", "in.pause", "in.resume",
                          "in.midpoint", "in.thirdQuartile", "w1.complete", "w2.complete",
                          "in.complete", "card.creativeView"));
  ASSERT_TRUE(driver.tap(driver.findById("close")));
  runLoop().advance(0.3);
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");

  lines.clear();
  showAndStart();
  runLoop().advance(8.5);
  EXPECT_EQ(sent().size(), 15u) << "every tracker again, less sound and background";
  // Macros are filled when a tracker leaves: the playhead of the first quartile.
  EXPECT_TRUE(waitForBeacon("/t/v?doc=in&ev=firstQuartile&at=00%3A00%3A02.000"));
  for (const auto& request : server->served())
    EXPECT_EQ(request.target.find("[CACHEBUSTING]"), std::string::npos) << request.target;
}

// The host's consent strings fill [GDPRCONSENT], [GPP_STRING] and [GPP_SID] in the tag's URL
// and in the trackers, percent-encoded.
TEST_F(VastAdTest, ConsentStringsFillTheirMacros) {
  ASSERT_TRUE(sdk().setConsentStrings(
      {.tcfString = "CPzHq4A.YAAA", .gppString = "DBABMA~CPX", .gppSectionIds = {2, 6}}));
  const std::string macros = "&tc=[GDPRCONSENT]&gpp=[GPP_STRING]&sid=[GPP_SID]";
  const std::string filled = "&tc=CPzHq4A.YAAA&gpp=DBABMA~CPX&sid=2%2C6";
  std::string doc = inlineDoc("in");
  doc.insert(doc.find("&ev=impression") + 14, macros);
  initializeWith({{"inline.xml", doc}}, {{"vastTagUrl", "{server}/vast/inline.xml?v=1" + macros}});
  ASSERT_TRUE(ready());
  showAndStart();
  EXPECT_TRUE(waitForBeacon("/t/v?doc=in&ev=impression" + filled));
  const auto served = server->served();
  EXPECT_TRUE(std::any_of(served.begin(), served.end(), [&](const auto& request) {
    return request.target == "/vast/inline.xml?v=1" + filled;
  }));
}

// Skippable at 3 s: the skip control counts down, a skip sends "skip" (never "complete"); a
// click on the video sends every click tracker of the chain and opens the nearest
// ClickThrough; the icon shows at its offset, is viewed once, and opens its page beside the ad.
TEST_F(VastAdTest, SkipClickAndIcon) {
  const std::string extra =
      "<VideoClicks><ClickThrough><![CDATA[{server}/t/click?ad=x]]></ClickThrough>"
      "<ClickTracking><![CDATA[{server}/t/v?doc=in&ev=click]]></ClickTracking></VideoClicks>"
      "<Icons><Icon program=\"privacy\" width=\"20\" height=\"20\" xPosition=\"right\" "
      "yPosition=\"top\" offset=\"00:00:01\" duration=\"00:00:05\"><StaticResource "
      "creativeType=\"image/png\">{server}/assets/ic_sound_on.png</StaticResource><IconClicks>"
      "<IconClickThrough>https://example.com/privacy</IconClickThrough><IconClickTracking>"
      "{server}/t/v?doc=icon&amp;ev=click</IconClickTracking></IconClicks><IconViewTracking>"
      "{server}/t/v?doc=icon&amp;ev=view</IconViewTracking></Icon></Icons>";
  initializeWith({{"w1.xml", wrapperDoc("w1", "inline.xml")},
                  {"inline.xml", inlineDoc("in", " skipoffset=\"00:00:03\"", extra)}},
                 {{"vastTagUrl", "{server}/vast/w1.xml"}});
  ASSERT_TRUE(ready());
  auto ad = firstAdOf<InterstitialVast>();
  showAndStart();
  const auto skip = std::dynamic_pointer_cast<Label>(driver.findById("skip"));
  ASSERT_TRUE(skip);
  EXPECT_EQ(skip->text, "Skippable in 3 seconds");
  EXPECT_FALSE(driver.findById("vast-icon")) << "not before its offset";
  runLoop().advance(1);
  const auto icon = driver.findById("vast-icon");
  ASSERT_TRUE(icon) << "the icon was not laid over the video";
  const auto label = driver.findByTitle("Get Application")->frameInRoot();
  EXPECT_GE(icon->frameInRoot().y, label.y + label.height) << "the icon covers a control";
  ASSERT_TRUE(driver.tap(icon));
  EXPECT_THAT(platform_->urlHandler().openedUrls(), ElementsAre("https://example.com/privacy"));
  runLoop().advance(2);
  ASSERT_EQ(skip->text, "Skip");
  ASSERT_TRUE(driver.tap(skip));
  runLoop().advance(0.5);
  EXPECT_EQ(delegate->events.back(), "onAdClose:p");
  const auto first = sent();
  EXPECT_THAT(first, ::testing::IsSupersetOf({"icon.view", "icon.click", "w1.skip", "in.skip"}));
  EXPECT_EQ(std::count(first.begin(), first.end(), "icon.view"), 1);
  EXPECT_THAT(first, ::testing::Not(::testing::Contains("in.complete")));

  lines.clear();
  showAndStart();
  runLoop().advance(2);
  ASSERT_TRUE(driver.tap(driver.findByTitle("Get Application")));
  runLoop().advance(0.3);
  EXPECT_THAT(sent(), ::testing::IsSupersetOf({"w1.click", "in.click"}));
  EXPECT_THAT(delegate->events, ::testing::Contains("onAdClick:p"));
}

// Markup as the end card: a page of the companion's size after the skip, whose link is the
// viewer's click on the card, with the companion's trackers. A page that navigates by itself
// gets no click while preloaded, and one click a showing however often it goes on.
TEST_F(VastAdTest, AnHtmlCompanionIsTheEndCardItsLinkTheClick) {
  const std::string card =
      "<Creative><CompanionAds><Companion width=\"320\" height=\"200\"><HTMLResource><![CDATA["
      "<a href='https://example.com/shop'>Shop</a>]]></HTMLResource><CompanionClickTracking>"
      "{server}/t/v?doc=card&amp;ev=click</CompanionClickTracking>" +
      tracking("card", {"creativeView"}) + "</Companion></CompanionAds></Creative>";
  initializeWith({}, {{"vastXml", inlineDoc("in", " skipoffset=\"00:00:01\"", "", card)}});
  ASSERT_TRUE(ready());
  for (const auto& view : driver.allWebViews())
    if (view->accessibilityIdentifier == "html-card")
      driver.startNavigation(view, "https://example.com/auto");
  runLoop().advance(0.3);
  showAndStart();
  runLoop().advance(1.5);
  ASSERT_TRUE(driver.tap(driver.findById("skip")));
  runLoop().advance(0.5);
  const auto page = std::dynamic_pointer_cast<platform::WebView>(driver.findById("html-card"));
  ASSERT_TRUE(page) << "no page for the end card";
  EXPECT_EQ(page->frameInRoot().size(), (Size{320, 200}));
  for (int time = 0; time < 3; ++time) {
    driver.startNavigation(page, "https://example.com/shop");
    runLoop().advance(0.3);
  }
  EXPECT_TRUE(driver.findById("click-through"));
  EXPECT_EQ(std::count(delegate->events.begin(), delegate->events.end(), "onAdClick:p"), 1);
  const auto trackers = sent();
  EXPECT_THAT(trackers, ::testing::IsSupersetOf({"in.skip", "card.creativeView"}));
  EXPECT_EQ(std::count(trackers.begin(), trackers.end(), "card.click"), 1);
}

/// One way a VAST ad fails: its documents, where it starts, and what must come of it.
struct Failure {
  const char* name;
  std::map<std::string, std::string> docs;
  JSON data;
  int code;
  /// The documents whose error URL must be called with the code, in the chain's order.
  std::vector<std::string> reportedBy;
  VastSettings settings = {.enabled = true, .requestTimeoutSeconds = 2};
  TransferLimits limits = {};
  double assetBytesPerSecond = 0;
};

void PrintTo(const Failure& row, std::ostream* out) {
  *out << row.name;
}

class VastFailureTest : public VastAdTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(VastFailureTest, ReportsItsCodeToEveryDocumentAndNoAdsToTheHost) {
  const Failure& row = GetParam();
  initializeWith(row.docs, row.data, row.settings, row.limits, row.assetBytesPerSecond);
  // The time limits run on the main queue's clock.
  for (int step = 0; step < 30 && !delegate->has("onNoAds:p"); ++step) {
    runUntil([&] { return delegate->has("onNoAds:p"); }, 0.2);
    runLoop().advance(0.5);
  }
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p]", "onNoAds:p"}));
  ASSERT_EQ(delegate->reasons.size(), 1u);
  EXPECT_THAT(delegate->reasons[0],
              ::testing::StartsWith("p:" + std::to_string(1000 + row.code) + ":VAST error " +
                                    std::to_string(row.code) + ": "));
  EXPECT_FALSE(sdk().isReady("p"));
  std::vector<std::string> expected;
  for (const auto& doc : row.reportedBy)
    expected.push_back("/t/v?doc=" + doc + "&ev=error&code=" + std::to_string(row.code));
  expectBeacons(expected);
}

const std::string kNoLinear =
    "<VAST version=\"4.0\"><Ad><InLine><AdSystem>t</AdSystem><AdTitle>t</AdTitle>" + common("in") +
    "<Creatives><Creative><CompanionAds/></Creative></Creatives></InLine></Ad></VAST>";
const std::string kFlvOnly =
    "<MediaFile delivery=\"progressive\" type=\"video/x-flv\" width=\"640\" "
    "height=\"360\">{server}/assets/video.flv</MediaFile>";
const std::string kMissing =
    "<MediaFile delivery=\"progressive\" type=\"video/webm\" width=\"640\" "
    "height=\"360\">{server}/assets/missing.webm</MediaFile>";
const JSON kTag = {{"vastTagUrl", "{server}/vast/w1.xml"}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Codes, VastFailureTest, ::testing::Values(
    Failure{"XmlParse100", {}, {{"vastXml", "<VAST version=\"4.2\"><Ad>"}}, 100, {}},
    Failure{"Schema101", {{"w1.xml", wrapperDoc("w1", "in.xml")}, {"in.xml", "<Vast version=\"4.2\"/>"}}, kTag, 101, {"w1"}},
    Failure{"Version102", {}, {{"vastXml", "<VAST version=\"1.0\"><Error>{server}/t/v?doc=v1&amp;ev=error&amp;code=[ERRORCODE]</Error></VAST>"}}, 102, {"v1"}},
    Failure{"WrapperLoop300", {{"w1.xml", wrapperDoc("w1", "w2.xml")}, {"w2.xml", wrapperDoc("w2", "w1.xml")}}, kTag, 300, {"w1", "w2"}},
    Failure{"NoMoreWrappers300", {{"w1.xml", wrapperDoc("w1", "w2.xml", " followAdditionalWrappers=\"false\"")}, {"w2.xml", wrapperDoc("w2", "in.xml")}}, kTag, 300, {"w1", "w2"}},
    Failure{"WrapperTimeout301", {{"w1.xml", wrapperDoc("w1", "in.xml?delay=10")}, {"in.xml", inlineDoc("in")}}, kTag, 301, {"w1"}},
    Failure{"WrapperUnavailable301", {{"w1.xml", wrapperDoc("w1", "gone.xml")}}, kTag, 301, {"w1"}},
    Failure{"WrapperLimit302", {{"w1.xml", wrapperDoc("w1", "w2.xml")}, {"w2.xml", wrapperDoc("w2", "w3.xml")}, {"w3.xml", wrapperDoc("w3", "in.xml")}}, kTag, 302, {"w1", "w2", "w3"}, {.enabled = true, .maxWrapperDepth = 2}},
    Failure{"NoAdAfterWrappers303", {{"w1.xml", wrapperDoc("w1", "empty.xml")}, {"empty.xml", "<VAST version=\"4.2\"><Error>{server}/t/v?doc=empty&amp;ev=error&amp;code=[ERRORCODE]</Error></VAST>"}}, kTag, 303, {"w1", "empty"}},
    Failure{"PodRefusedByWrapper303", {{"w1.xml", wrapperDoc("w1", "pod.xml")}, {"pod.xml", "<VAST version=\"4.2\"><Ad sequence=\"1\"><InLine/></Ad></VAST>"}}, kTag, 303, {"w1"}},
    Failure{"NoLinear400", {}, {{"vastXml", kNoLinear}}, 400, {"in"}},
    Failure{"FileNotFound401", {{"w1.xml", wrapperDoc("w1", "in.xml")}, {"in.xml", inlineDoc("in", "", "", "", kMissing)}}, kTag, 401, {"w1", "in"}},
    Failure{"MediaTimeout402", {}, {{"vastXml", inlineDoc("in")}}, 402, {"in"}, {.enabled = true}, {.downloadDeadlineSeconds = 1}, 20000},
    Failure{"NoSupportedMedia403", {}, {{"vastXml", inlineDoc("in", "", "", "", kFlvOnly)}}, 403, {"in"}},
    Failure{"Undefined900", {}, {{"imp", "{server}/t/imp"}}, 900, {}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A media file that stops playing part way: 405 to the chain, and the user can skip at once.
TEST_F(VastAdTest, PlaybackThatFailsReports405AndLetsTheUserLeave) {
  initializeWith({}, {{"vastXml", inlineDoc("in")}});
  ASSERT_TRUE(ready());
  showAndStart();
  runLoop().advance(1);
  ASSERT_TRUE(headless::failPlayback(*firstAdOf<InterstitialVast>()->videoPlayer->player, "test"));
  runLoop().advance(0.1);
  const auto skip = std::dynamic_pointer_cast<Label>(driver.findById("skip"));
  ASSERT_TRUE(skip && skip->text == "Skip");
  ASSERT_TRUE(driver.tap(skip));
  runLoop().advance(0.5);
  EXPECT_THAT(sent(), ::testing::Contains("in.error"));
  EXPECT_TRUE(waitForBeacon("/t/v?doc=in&ev=error&code=405"));
}

TEST(MediaTypes, TheBackendOffersTheContainersItPlays) {
  EXPECT_TRUE(gstreamerCanPlay("video/webm"));
  EXPECT_TRUE(gstreamerCanPlay(" Video/WebM ; codecs=\"vp8\""));
  EXPECT_FALSE(gstreamerCanPlay("video/x-flv"));
  EXPECT_FALSE(gstreamerCanPlay("application/javascript"));
}

}  // namespace
}  // namespace zelvora::test
