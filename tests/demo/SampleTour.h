#pragma once

// The demo program as a user runs it, and what its tour over the sample campaigns must produce
// (the host's events, the server's beacons, the result), written from what the campaigns hold
// and the SDK promises, not from the demo's code. Every backend's tour must match.

#include <gmock/gmock.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/SdkTest.h"

namespace zelvora::test::demo_tour {

struct DemoRun {
  int exitCode = -1;
  std::string output;
  JSON summary;
};

/// Runs the demo with `arguments`; the summary is read from its --summary-json file.
inline DemoRun runDemo(const TemporaryFolder& folder, const std::string& arguments) {
  const auto output = folder.path() / "output.txt";
  const auto summary = folder.path() / "summary.json";
  fs::remove(summary);
  const std::string command = std::string("'") + ZELVORA_DEMO_PROGRAM + "' " + arguments +
                              " --summary-json '" + summary.string() + "' > '" + output.string() +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  DemoRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = readFile(output);
  if (fs::exists(summary)) run.summary = JSON::parse(readFile(summary), nullptr, false);
  return run;
}

/// What a placement must come to. Display times vary with the tour's pace: "length=#" stands
/// for any number of seconds.
struct Expected {
  std::string result;
  std::vector<std::string> events;
  std::vector<std::string> beacons;
};

inline std::vector<std::string> strings(const JSON& list) {
  std::vector<std::string> items;
  if (list.is_array()) {
    for (const auto& item : list) items.push_back(item.get<std::string>());
  }
  return items;
}

inline std::vector<std::string> anyLength(std::vector<std::string> beacons) {
  static const std::regex length("length=[0-9]+");
  for (auto& beacon : beacons) beacon = std::regex_replace(beacon, length, "length=#");
  std::sort(beacons.begin(), beacons.end());
  return beacons;
}

inline const JSON* rowOf(const JSON& summary, const std::string& placement) {
  if (!summary.is_object() || !summary.contains("placements")) return nullptr;
  for (const auto& row : summary["placements"]) {
    if (row["placement"] == placement) return &row;
  }
  return nullptr;
}

inline void expectRow(const JSON& summary, const std::string& placement, const Expected& expected) {
  SCOPED_TRACE(placement);
  const JSON* row = rowOf(summary, placement);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)["result"], expected.result);
  EXPECT_EQ(strings((*row)["events"]), expected.events);
  EXPECT_EQ(anyLength(strings((*row)["beacons"])), anyLength(expected.beacons));
}

// The user follows the click-throughs of the ads that have one, comes back and closes the
// ad on its second showing; a banner and a video with a landing card are shown twice (their
// image must not move); an MRAID creative's own close keeps it ready, and its "open" goes to
// the system without a click event.
inline const std::map<std::string, Expected> sampleTour = {
    {"banner-interstitial",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClick", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=banner-1", "/t/imp2?ad=banner-1", "/t/click?ad=banner-1&to=/assets/landing.html",
       "/t/close?ad=banner-1&length=#", "/t/imp?ad=banner-1", "/t/imp2?ad=banner-1",
       "/t/close?ad=banner-1&length=#"}}},
    {"banner-no-click",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=banner-2", "/t/imp2?ad=banner-2", "/t/close?ad=banner-2&length=#",
       "/t/imp?ad=banner-2", "/t/imp2?ad=banner-2", "/t/close?ad=banner-2&length=#"}}},
    {"video-with-landing-card",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=video-1", "/t/close?ad=video-1&length=#", "/t/imp?ad=video-1",
       "/t/close?ad=video-1&length=#"}}},
    {"video-skippable",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose"},
      {"/t/imp?ad=video-2", "/t/close?ad=video-2&length=#"}}},
    {"html-interstitial",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClick", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=html-1", "/t/click?ad=html-1", "/t/close?ad=html-1&length=#", "/t/imp?ad=html-1",
       "/t/close?ad=html-1&length=#"}}},
    {"html-no-script",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClick", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=html-2", "/t/click?ad=html-2", "/t/close?ad=html-2&length=#", "/t/imp?ad=html-2",
       "/t/close?ad=html-2&length=#"}}},
    {"mraid-interstitial",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      // Loaded, reloaded after each close.
      {"/t/imp?ad=mraid-1&metric=adLoad", "/t/imp?ad=mraid-1", "/t/close?ad=mraid-1&length=#",
       "/t/imp?ad=mraid-1&metric=adLoad", "/t/imp?ad=mraid-1", "/t/close?ad=mraid-1&length=#",
       "/t/imp?ad=mraid-1&metric=adLoad"}}},
    {"mraid-open",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose"},
      {"/t/imp?ad=mraid-3&metric=adLoad", "/t/imp?ad=mraid-3", "/t/click?ad=mraid-3",
       "/t/close?ad=mraid-3&length=#", "/t/imp?ad=mraid-3&metric=adLoad"}}},
    // It holds the screen in landscape from its load on; the user closes it.
    {"mraid-landscape",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose"},
      {"/t/imp?ad=mraid-4&metric=adLoad", "/t/imp?ad=mraid-4", "/t/close?ad=mraid-4&length=#",
       "/t/imp?ad=mraid-4&metric=adLoad"}}},
    {"mraid-fallback",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/imp?ad=mraid-2&metric=adLoad", "/t/imp?ad=mraid-2&metric=fallback"}}},
    // Two wrappers to an inline ad with a privacy icon and an end card of markup, skipped at
    // 3 s, twice: every document's impressions, the wrappers' "start", the verification that
    // did not run, never "complete".
    {"vast-interstitial",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      [] {
        std::vector<std::string> beacons;
        for (const char* sound : {"unmute", "mute"}) {
          for (const std::string doc : {"wrapper-1", "wrapper-2", "inline", "inline&n=2"})
            beacons.push_back("/t/vast-imp?ad=vast-1&doc=" + doc);
          for (const std::string event :
               {"creativeView", "start&doc=wrapper-1", "start&doc=wrapper-2", "start",
                "verificationNotExecuted&reason=2", "iconView", sound, "firstQuartile", "progress",
                "skip", "companionView"})
            beacons.push_back("/t/vast?ad=vast-1&ev=" + event);
          beacons.push_back("/t/close?ad=vast-1&length=#");
          beacons.push_back("/t/imp?ad=vast-1");
        }
        return beacons;
      }()}},
    // Watched to its companion end card twice; the sound toggled on, then off again.
    {"vast-inline-document",
     {"ok",
      {"onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      [] {
        std::vector<std::string> beacons;
        for (const char* sound : {"unmute", "mute"}) {
          for (const std::string event : {"creativeView", "start", sound, "firstQuartile",
                                          "midpoint", "thirdQuartile", "complete", "companionView"})
            beacons.push_back("/t/vast?ad=vast-2&ev=" + event);
          for (const char* beacon : {"/t/vast-imp?ad=vast-2&doc=embedded", "/t/imp?ad=vast-2",
                                     "/t/close?ad=vast-2&length=#"})
            beacons.push_back(beacon);
        }
        return beacons;
      }()}},
    // Each failure reaches every document of its chain with its code, and the host as no fill;
    // the tour's showing then fails.
    {"vast-too-deep",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/vast-error?ad=vast-3&doc=deep-1&code=302", "/t/vast-error?ad=vast-3&doc=deep-2&code=302",
       "/t/vast-error?ad=vast-3&doc=deep-3&code=302", "/t/vast-error?ad=vast-3&doc=deep-4&code=302",
       "/t/vast-error?ad=vast-3&doc=deep-5&code=302",
       "/t/vast-error?ad=vast-3&doc=deep-6&code=302"}}},
    {"vast-loop",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/vast-error?ad=vast-4&doc=loop-a&code=300",
       "/t/vast-error?ad=vast-4&doc=loop-b&code=300"}}},
    {"vast-empty",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/vast-error?ad=vast-5&doc=wrapper-to-empty&code=303",
       "/t/vast-error?ad=vast-5&doc=empty&code=303"}}},
    {"vast-broken",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/vast-error?ad=vast-6&doc=wrapper-to-broken&code=100"}}},
    {"vast-unsupported-media",
     {"no fill",
      {"onNoAds", "onAdFailedToLoad", "onAdFailedToShow"},
      {"/t/vast-error?ad=vast-7&doc=unsupported-media&code=403"}}},
    // The first ad's image is gone: the host hears it, and the second ad is the one shown.
    {"banner-first-ad-broken",
     {"ok",
      {"onAdFailedToLoad", "onAdReady", "onAdShown", "onAdClose", "onAdShown", "onAdClose"},
      {"/t/imp?ad=banner-4", "/t/close?ad=banner-4&length=#", "/t/imp?ad=banner-4",
       "/t/close?ad=banner-4&length=#"}}},
    // Refused twice by the server, retried after its pauses, then shown as any banner.
    {"banner-refused-twice",
     {"ok",
      {"onAdFailedToLoad", "onAdFailedToLoad", "onAdReady", "onAdShown", "onAdClose", "onAdShown",
       "onAdClose"},
      {"/t/imp?ad=banner-5", "/t/close?ad=banner-5&length=#", "/t/imp?ad=banner-5",
       "/t/close?ad=banner-5&length=#"}}},
    // A valid banner, but paused: nothing is preloaded, so nothing is fired.
    {"disabled-placement", {"disabled", {}, {}}},
    {"empty-placement", {"no fill", {"onNoAds"}, {}}},
    // Its first ad is not an interstitial: the SDK leaves it out without a word.
    {"rewarded-placement", {"dropped", {}, {}}},
};

/// Shown a second time, a banner's image and a video's landing card came where they came the
/// first time (the user checks, and says so among the tour's steps).
inline void expectImagesInPlaceOnTheSecondShowing(const JSON& summary) {
  for (const auto& [placement, what] :
       {std::pair{"banner-interstitial", "image"}, std::pair{"banner-no-click", "image"},
        std::pair{"video-with-landing-card", "landing card"}}) {
    const JSON* row = rowOf(summary, placement);
    ASSERT_NE(row, nullptr) << placement;
    EXPECT_THAT(strings((*row)["steps"]),
                ::testing::Contains(std::string(what) + " where it was the first time"))
        << placement;
  }
}

/// The playable held the screen in landscape; every MRAID creative shown was fully seen, then
/// unseen once closed.
inline void expectMraidExposuresAndOrientation(const JSON& summary) {
  for (const char* placement : {"mraid-interstitial", "mraid-open", "mraid-landscape"}) {
    const JSON* row = rowOf(summary, placement);
    ASSERT_NE(row, nullptr) << placement;
    EXPECT_THAT(strings((*row)["steps"]), ::testing::Contains("exposure: 100, 0")) << placement;
  }
  EXPECT_THAT(strings((*rowOf(summary, "mraid-landscape"))["steps"]),
              ::testing::Contains("held in landscape as the creative asked"));
}

inline const std::vector<std::string> answerOrder = {
    "banner-interstitial", "banner-no-click", "video-with-landing-card", "video-skippable",
    "html-interstitial", "html-no-script", "mraid-interstitial", "mraid-open", "mraid-landscape",
    "mraid-fallback",
    // VAST ads: a wrapper chain, a document in the ad, and each way a chain fails.
    "vast-interstitial", "vast-inline-document", "vast-too-deep", "vast-loop", "vast-empty",
    "vast-broken", "vast-unsupported-media",
    // A first ad that fails to load, a file refused twice.
    "banner-first-ad-broken", "banner-refused-twice",
    // Paused, without ads, not an interstitial.
    "disabled-placement", "empty-placement", "rewarded-placement"};

}  // namespace zelvora::test::demo_tour
