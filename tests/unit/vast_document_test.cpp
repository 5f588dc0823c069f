#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "vast/MediaSelection.h"
#include "vast/VastDocument.h"
#include "vast/VastMacros.h"

namespace zelvora::vast {
namespace {

using Urls = std::vector<std::string>;

Document parsed(const std::string& xml) {
  auto result = parse(xml);
  EXPECT_FALSE(result.error) << result.message;
  return result.document.value_or(Document{});
}

// Every element and attribute this client reads, as VAST 4.2 writes them.
TEST(VastDocumentTest, InLine42) {
  const auto document = parsed(R"(<?xml version="1.0" encoding="UTF-8"?>
<VAST version="4.2" xmlns="http://www.iab.com/VAST">
 <Ad id="ad-1" sequence="garbage">
  <InLine>
   <AdSystem version="1">Zelvora</AdSystem>
   <AdTitle> Spring launch </AdTitle>
   <Impression id="i"><![CDATA[ https://t.example/imp?x=1&y=2 ]]></Impression>
   <Impression/>
   <Impression>https://t.example/imp2</Impression>
   <Error>https://t.example/err?c=[ERRORCODE]</Error>
   <AdVerifications>
    <Verification vendor="meter.example-omid">
     <JavaScriptResource apiFramework="omid" browserOptional="true">https://m.example/v.js</JavaScriptResource>
     <TrackingEvents>
      <Tracking event="verificationNotExecuted">https://m.example/ne?r=[REASON]</Tracking>
      <Tracking event="other">https://m.example/other</Tracking>
     </TrackingEvents>
    </Verification>
   </AdVerifications>
   <Creatives>
    <Creative id="c-1" sequence="1">
     <Linear skipoffset="00:00:05">
      <Duration>00:00:30.500</Duration>
      <TrackingEvents>
       <Tracking event="start">https://t.example/start</Tracking>
       <Tracking event="progress" offset="25%">https://t.example/q</Tracking>
      </TrackingEvents>
      <VideoClicks>
       <ClickThrough id="ct">https://shop.example/</ClickThrough>
       <ClickTracking>https://t.example/c1</ClickTracking>
       <ClickTracking>https://t.example/c2</ClickTracking>
      </VideoClicks>
      <MediaFiles>
       <MediaFile delivery="progressive" type="video/mp4" width="1280" height="720"
         bitrate="2000" minBitrate="1500" maxBitrate="2500" codec="avc1.4D401F">
        https://cdn.example/a.mp4
       </MediaFile>
       <MediaFile delivery="streaming" type="application/javascript" width="wide"
         height="-1" apiFramework="VPAID">https://cdn.example/v.js</MediaFile>
      </MediaFiles>
      <Icons>
       <Icon program="AdChoices" width="20" height="18" xPosition="right" yPosition="10"
         offset="00:00:01" duration="00:00:10">
        <StaticResource creativeType="image/png">https://cdn.example/i.png</StaticResource>
        <IconClicks>
         <IconClickThrough>https://privacy.example/</IconClickThrough>
         <IconClickTracking>https://t.example/ic</IconClickTracking>
        </IconClicks>
        <IconViewTracking>https://t.example/iv</IconViewTracking>
       </Icon>
       <Icon program="Info"><IFrameResource>https://cdn.example/i.html</IFrameResource></Icon>
      </Icons>
     </Linear>
    </Creative>
    <Creative id="c-2">
     <CompanionAds>
      <Companion id="end" width="300" height="250">
       <HTMLResource><![CDATA[<a href="x">Buy</a>]]></HTMLResource>
       <StaticResource creativeType="image/jpeg">https://cdn.example/later.jpg</StaticResource>
       <CompanionClickThrough>https://shop.example/end</CompanionClickThrough>
       <CompanionClickTracking>https://t.example/cc</CompanionClickTracking>
       <TrackingEvents><Tracking event="creativeView">https://t.example/cv</Tracking></TrackingEvents>
      </Companion>
     </CompanionAds>
    </Creative>
   </Creatives>
  </InLine>
 </Ad>
</VAST>)");
  EXPECT_EQ(document.version, "4.2");
  ASSERT_EQ(document.ads.size(), 1u);
  const auto& ad = document.ads[0];
  EXPECT_EQ(ad.id, "ad-1");
  EXPECT_FALSE(ad.sequence);
  EXPECT_FALSE(ad.isWrapper);
  EXPECT_EQ(ad.impressions, (Urls{"https://t.example/imp?x=1&y=2", "https://t.example/imp2"}));
  EXPECT_EQ(ad.errors, Urls{"https://t.example/err?c=[ERRORCODE]"});
  ASSERT_EQ(ad.verifications.size(), 1u);
  EXPECT_EQ(ad.verifications[0].vendor, "meter.example-omid");
  EXPECT_EQ(ad.verifications[0].notExecutedUrls, Urls{"https://m.example/ne?r=[REASON]"});

  ASSERT_EQ(ad.linears.size(), 1u);
  const auto& linear = ad.linears[0];
  EXPECT_EQ(linear.duration, 30.5);
  EXPECT_EQ(linear.skipOffset, "00:00:05");
  ASSERT_EQ(linear.trackingEvents.size(), 2u);
  EXPECT_EQ(linear.trackingEvents[1].event, "progress");
  EXPECT_EQ(linear.trackingEvents[1].url, "https://t.example/q");
  EXPECT_EQ(linear.trackingEvents[1].offset, "25%");
  EXPECT_EQ(linear.clickThrough, "https://shop.example/");
  EXPECT_EQ(linear.clickTracking, (Urls{"https://t.example/c1", "https://t.example/c2"}));
  ASSERT_EQ(linear.mediaFiles.size(), 2u);
  const auto& mp4 = linear.mediaFiles[0];
  EXPECT_EQ(mp4.url, "https://cdn.example/a.mp4");
  EXPECT_EQ(std::tie(mp4.delivery, mp4.type), std::tuple("progressive", "video/mp4"));
  EXPECT_EQ((std::vector{mp4.width, mp4.height, mp4.bitrate, mp4.minBitrate, mp4.maxBitrate}),
            (std::vector{1280, 720, 2000, 1500, 2500}));
  const auto& vpaid = linear.mediaFiles[1];
  EXPECT_EQ(std::tie(vpaid.width, vpaid.height, vpaid.apiFramework), std::tuple(0, 0, "VPAID"));

  ASSERT_EQ(linear.icons.size(), 2u);
  const auto& icon = linear.icons[0];
  EXPECT_EQ(std::tie(icon.width, icon.height, icon.xPosition, icon.yPosition),
            std::tuple(20, 18, "right", "10"));
  EXPECT_EQ(std::tie(icon.offset, icon.duration), std::tuple("00:00:01", "00:00:10"));
  EXPECT_EQ(icon.resource.staticUrl, "https://cdn.example/i.png");
  EXPECT_EQ(icon.resource.creativeType, "image/png");
  EXPECT_EQ(icon.clickThrough, "https://privacy.example/");
  EXPECT_EQ(icon.clickTracking, Urls{"https://t.example/ic"});
  EXPECT_EQ(icon.viewTracking, Urls{"https://t.example/iv"});
  EXPECT_EQ(linear.icons[1].resource.iframeUrl, "https://cdn.example/i.html");

  // The first resource of a companion is the one kept.
  ASSERT_EQ(ad.companions.size(), 1u);
  const auto& companion = ad.companions[0];
  EXPECT_EQ(std::tie(companion.width, companion.height), std::tuple(300, 250));
  EXPECT_EQ(companion.resource.html, "<a href=\"x\">Buy</a>");
  EXPECT_TRUE(companion.resource.staticUrl.empty());
  EXPECT_EQ(companion.clickThrough, "https://shop.example/end");
  EXPECT_EQ(companion.clickTracking, Urls{"https://t.example/cc"});
  ASSERT_EQ(companion.trackingEvents.size(), 1u);
  EXPECT_EQ(companion.trackingEvents[0].event, "creativeView");
}

// The other shapes of a document: older versions, a wrapper, a pod, no ad at all.
TEST(VastDocumentTest, OtherDocuments) {
  const auto v3 = parsed(R"(<VAST version="3.0"><Ad id="x"><InLine><AdTitle>T</AdTitle>
    <Creatives><Creative><Linear skipoffset="10%"><Duration>00:00:15</Duration></Linear>
    </Creative></Creatives><Extensions><Extension type="other"/><Extension type="AdVerifications">
    <AdVerifications><Verification vendor="v3"><TrackingEvents>
    <Tracking event="verificationNotExecuted">https://m.example/3</Tracking>
    </TrackingEvents></Verification></AdVerifications></Extension></Extensions></InLine></Ad>
    </VAST>)");
  ASSERT_EQ(v3.ads.size(), 1u);
  ASSERT_EQ(v3.ads[0].verifications.size(), 1u);
  EXPECT_EQ(v3.ads[0].verifications[0].notExecutedUrls, Urls{"https://m.example/3"});
  EXPECT_EQ(v3.ads[0].linears.at(0).skipOffset, "10%");

  const auto v2 = parsed(R"(<VAST version="2.0.1"><Ad id="old"><InLine><AdTitle>Old</AdTitle>
    <Impression>https://t.example/2</Impression><Creatives><Creative><Linear>
    <Duration>00:00:10</Duration><MediaFiles><MediaFile delivery="progressive" type="video/mp4"
    width="640" height="360">https://cdn.example/2.mp4</MediaFile></MediaFiles></Linear>
    </Creative></Creatives></InLine></Ad></VAST>)");
  ASSERT_EQ(v2.ads.size(), 1u);
  EXPECT_EQ(v2.ads[0].linears.at(0).duration, 10);
  EXPECT_EQ(v2.ads[0].linears.at(0).mediaFiles.at(0).url, "https://cdn.example/2.mp4");

  // A wrapper's linear keeps only its trackers.
  const auto wrapper = parsed(R"(<VAST version="4.1"><Ad id="w"><Wrapper
    followAdditionalWrappers="false" allowMultipleAds="true" fallbackOnNoAd="1">
    <VASTAdTagURI><![CDATA[https://ads.example/next]]></VASTAdTagURI>
    <Impression>https://t.example/wi</Impression><Error>https://t.example/we</Error>
    <Creatives><Creative><Linear><Duration>00:00:10</Duration><TrackingEvents>
    <Tracking event="complete">https://t.example/wc</Tracking></TrackingEvents>
    <VideoClicks><ClickTracking>https://t.example/wk</ClickTracking></VideoClicks>
    </Linear></Creative></Creatives></Wrapper></Ad></VAST>)");
  ASSERT_EQ(wrapper.ads.size(), 1u);
  const auto& w = wrapper.ads[0];
  EXPECT_TRUE(w.isWrapper);
  EXPECT_EQ(w.adTagUri, "https://ads.example/next");
  EXPECT_EQ(std::tie(w.followAdditionalWrappers, w.allowMultipleAds), std::tuple(false, true));
  EXPECT_EQ(w.impressions, Urls{"https://t.example/wi"});
  EXPECT_EQ(w.errors, Urls{"https://t.example/we"});
  EXPECT_EQ(w.linears.at(0).trackingEvents.at(0).url, "https://t.example/wc");
  EXPECT_EQ(w.linears.at(0).clickTracking, Urls{"https://t.example/wk"});
  EXPECT_FALSE(w.linears.at(0).duration);

  const auto pod = parsed(R"(<VAST version="4.0"><Ad id="b" sequence="2"><InLine/></Ad>
    <Ad id="a" sequence="1"><Wrapper/></Ad></VAST>)");
  ASSERT_EQ(pod.ads.size(), 2u);
  EXPECT_EQ(std::tie(pod.ads[0].id, pod.ads[0].sequence), std::tuple("b", std::optional(2)));
  EXPECT_EQ(std::tie(pod.ads[1].id, pod.ads[1].sequence), std::tuple("a", std::optional(1)));
  // A wrapper's flags keep VAST 4's defaults when absent.
  EXPECT_EQ(std::tie(pod.ads[1].followAdditionalWrappers, pod.ads[1].allowMultipleAds),
            std::tuple(true, false));

  const auto none = parse("<VAST version='4.0'><Error>https://t.example/no</Error></VAST>");
  ASSERT_TRUE(none.document);
  EXPECT_TRUE(none.document->ads.empty());
  EXPECT_EQ(none.errorUrls, Urls{"https://t.example/no"});
}

// What is refused, with which error, and the root's error URLs that can still be told.
TEST(VastDocumentTest, Refusals) {
  const std::string deep = "<VAST version='4.0'><a><b><c><d/></c></b></a></VAST>";  // 5 levels
  std::string utf16 = "\xFF\xFE";  // a DTD the check on the bytes cannot see
  for (const char c : std::string("<!DOCTYPE VAST><VAST version='4.0'/>")) utf16 += {c, '\0'};
  struct Case {
    std::string xml;
    ParseLimits limits;
    VastError error;
    Urls errorUrls;
  };
  const Case cases[] = {
      {"", {}, VastError::xmlParse, {}},
      {"<VAST version='4.0'><Ad>", {}, VastError::xmlParse, {}},
      {"<VAST version='4.0'>&undeclared;</VAST>", {}, VastError::xmlParse, {}},
      {"<!DOCTYPE VAST [<!ENTITY e 'x'>]><VAST version='4.0'>&e;</VAST>",
       {},
       VastError::xmlParse,
       {}},
      {"<!doctype VAST><VAST version='4.0'/>", {}, VastError::xmlParse, {}},
      {utf16, {}, VastError::xmlParse, {}},
      {deep, {.maxDepth = 4}, VastError::xmlParse, {}},
      {deep, {.maxBytes = deep.size() - 1}, VastError::xmlParse, {}},
      {"<Vast version='4.0'/>", {}, VastError::schema, {}},
      {"<VAST version='4.0'><Error>https://e/1</Error><Ad><InLine/></Ad><Ad/></VAST>",
       {},
       VastError::schema,
       {"https://e/1"}},
      {"<VAST version='1.0'><Error>https://e/2</Error></VAST>",
       {},
       VastError::version,
       {"https://e/2"}},
      {"<VAST><Ad><InLine/></Ad></VAST>", {}, VastError::version, {}},
  };
  testing::internal::CaptureStderr();
  for (const auto& [xml, limits, error, errorUrls] : cases) {
    const auto result = parse(xml, limits);
    EXPECT_FALSE(result.document) << xml;
    EXPECT_EQ(result.error, error) << xml;
    EXPECT_FALSE(result.message.empty()) << xml;
    EXPECT_EQ(result.errorUrls, errorUrls) << xml;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libxml2 is kept silent";
  EXPECT_TRUE(parse(deep, {.maxBytes = deep.size(), .maxDepth = 5}).document);
  // Markup in CDATA (an HTML companion's) is text, however it reads.
  EXPECT_TRUE(parse("<VAST version='4.0'><Error><![CDATA[<!DOCTYPE html><!ENTITY x>]]></Error>"
                    "</VAST>")
                  .document);
}

TEST(VastDocumentTest, TimecodesAndOffsets) {
  const std::pair<std::string, std::optional<double>> timecodes[] = {{"00:00:05", 5},
                                                                     {"00:01:02.500", 62.5},
                                                                     {"01:00:00.25", 3600.25},
                                                                     {"100:00:00", 360000},
                                                                     {"0:00:01", 1},
                                                                     {"", std::nullopt},
                                                                     {"00:00", std::nullopt},
                                                                     {"00:60:00", std::nullopt},
                                                                     {"00:00:60", std::nullopt},
                                                                     {"00:0:05", std::nullopt},
                                                                     {"00:00:05.", std::nullopt},
                                                                     {" 00:00:05", std::nullopt},
                                                                     {"-1:00:00", std::nullopt},
                                                                     {"00:00:05x", std::nullopt},
                                                                     {"5", std::nullopt}};
  for (const auto& [text, seconds] : timecodes) EXPECT_EQ(parseTimecode(text), seconds) << text;

  const std::pair<std::string, std::optional<double>> offsets[] = {
      {"25%", 5},           {"12.5%", 2.5},         {"100%", 20},         {"0%", 0},
      {"00:00:03", 3},      {"101%", std::nullopt}, {"%", std::nullopt},  {"-5%", std::nullopt},
      {"x%", std::nullopt}, {"25 %", std::nullopt}, {"1.%", std::nullopt}};
  for (const auto& [text, seconds] : offsets) EXPECT_EQ(parseOffset(text, 20), seconds) << text;
}

TEST(VastDocumentTest, Macros) {
  MacroValues known;
  known.errorCode = 405;
  known.playheadSeconds = 3723.5;
  known.assetUri = "https://cdn.example/a b.mp4";
  known.reason = 2;
  known.limitAdTracking = true;
  known.gdprConsent = "CO+x/y";
  known.gppString = "DBABMA~CP.x";
  known.gppSectionIds = {2, 6};
  known.timestampSeconds = 1796637600;
  known.cacheBusting = "12345678";
  MacroValues rounded;
  rounded.playheadSeconds = 0.0004;
  const std::string all =
      "e=[ERRORCODE]&c=[CONTENTPLAYHEAD]&a=[ADPLAYHEAD]&u=[ASSETURI]&r=[REASON]"
      "&l=[LIMITADTRACKING]&g=[GDPRCONSENT]&gs=[GPP_STRING]&gi=[GPP_SID]&t=[TIMESTAMP]"
      "&b=[CACHEBUSTING]";
  const std::tuple<std::string, MacroValues, std::string> cases[] = {
      {all, known,
       "e=405&c=01%3A02%3A03.500&a=01%3A02%3A03.500&u=https%3A%2F%2Fcdn.example%2Fa%20b.mp4"
       "&r=2&l=1&g=CO%2Bx%2Fy&gs=DBABMA~CP.x&gi=2%2C6&t=2026-12-07T10%3A00%3A00.000Z"
       "&b=12345678"},
      {all.substr(0, all.find("&b=")), {}, "e=-1&c=-1&a=-1&u=-1&r=-1&l=0&g=-1&gs=-1&gi=-1&t=-1"},
      {"[UNKNOWN]/[[ERRORCODE]]/[ERRORCODE/[]/]", known, "[UNKNOWN]/[405]/[ERRORCODE/[]/]"},
      {"https://t.example/p?ms=[ADPLAYHEAD]", rounded, "https://t.example/p?ms=00%3A00%3A00.000"},
  };
  for (const auto& [url, values, filled] : cases) EXPECT_EQ(fillMacros(url, values), filled);

  // Without a value, one new cache buster for the whole URL.
  const auto busted = fillMacros("[CACHEBUSTING]-[CACHEBUSTING]", {});
  ASSERT_EQ(busted.size(), 17u);
  EXPECT_EQ(busted.substr(0, 8), busted.substr(9));
  for (int i = 0; i < 100; ++i) {
    const auto buster = newCacheBuster();
    EXPECT_EQ(buster.size(), 8u);
    EXPECT_EQ(buster.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_NE(buster[0], '0');
  }
}

TEST(VastDocumentTest, MediaChoice) {
  const auto file = [](std::string url, int width, int height, int bitrate = 1000,
                       std::string delivery = "progressive", std::string type = "video/mp4") {
    MediaFile f;
    f.url = "https://cdn.example/" + url;
    std::tie(f.width, f.height, f.bitrate, f.delivery, f.type) =
        std::tie(width, height, bitrate, delivery, type);
    return f;
  };
  auto vpaid = file("vpaid", 1280, 720);
  vpaid.apiFramework = "VPAID";
  auto ftp = file("ftp", 1280, 720);
  ftp.url = "ftp://cdn.example/a.mp4";
  auto upper = file("upper", 640, 360);
  upper.url = "HTTPS://cdn.example/upper.mp4";
  MediaChoice choice;  // 1280x720, 8000 kbps
  choice.canPlay = [](const std::string& type) { return type == "video/mp4"; };
  MediaChoice blind = choice;
  blind.canPlay = nullptr;

  const std::tuple<std::vector<MediaFile>, MediaChoice, std::optional<std::size_t>> cases[] = {
      {{vpaid, ftp, file("ogg", 1280, 720, 1000, "progressive", "video/ogg")}, choice, {}},
      {{file("a", 1280, 720)}, blind, {}},
      {{vpaid, upper}, choice, 1},
      {{file("stream", 1280, 720, 1000, "streaming"), file("prog", 640, 360)}, choice, 1},
      {{file("over", 1280, 720, 9000), file("stream", 640, 360, 1000, "streaming")}, choice, 1},
      {{file("over", 640, 360, 9000), file("over-hd", 1280, 720, 12000)}, choice, 1},
      {{file("small", 640, 360), file("big", 1920, 1080), file("hd", 1280, 720)}, choice, 2},
      {{file("square", 960, 960), file("wide", 1280, 720)}, choice, 1},
      {{file("fast", 1280, 720, 3000), file("slow", 1280, 720, 1500)}, choice, 1},
      {{file("first", 1280, 720), file("second", 1280, 720)}, choice, 0},
  };
  for (const auto& [files, with, chosen] : cases) {
    const auto result = chooseMediaFile(files, with);
    EXPECT_EQ(result ? std::optional(result->url) : std::nullopt,
              chosen ? std::optional(files[*chosen].url) : std::nullopt);
  }
}

}  // namespace
}  // namespace zelvora::vast
