#pragma once

// The explorer's ads: one placement per format and behaviour, each with beacons on paths of its
// own ("/t/<placement>/imp", ".../imp2", ".../click", ".../close"), served with real assets; some
// files are refused a few times ("/refused/<n>/...") or never load, so placements retry and move
// on to their next ad.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "support/SdkTest.h"

namespace zelvora::test::explorer {

struct PlacementPlan {
  std::string id{};
  /// What the summary calls it.
  std::string format{};
  std::string subtype{};
  JSON data{};
  /// Its preload reports onAdReady without the page's help.
  bool readyByItself = false;
  bool mraid = false;
  /// The MRAID call this creative makes of its own accord.
  std::string creativeCall{};
  /// House videos: the local file's name, which tells a player's placement, and when "Skip"
  /// turns up.
  std::string videoFile{};
  double skippableIn = 0;
  /// Whether "extraImpBeacon" reaches a beacon path (one of them fails with 404).
  bool extraImpRecorded = true;
  /// Ad objects ahead of this ad in its placement, each of which fails to load for good.
  JSON adsBefore = JSON::array();
};

/// The most times the server refuses one of the explorer's files before it serves it.
constexpr int kMostRefusals = 3;

inline JSON beacons(const std::string& id, bool clickTracking) {
  JSON data = {{"imp", "{server}/t/" + id + "/imp"},
               {"extraImpBeacon", "{server}/t/" + id + "/imp2"},
               {"adCloseBeaconUrl", "{server}/t/" + id + "/close?length={length}"}};
  if (clickTracking) data["clickTracking"] = "{server}/t/" + id + "/click";
  return data;
}

inline std::string clickUrl(const std::string& id) {
  return "{server}/t/" + id + "/click?to=/assets/landing.html";
}

inline std::vector<PlacementPlan> placementPlans() {
  std::vector<PlacementPlan> plans;
  const auto banner = [&](const std::string& id, const std::string& format,
                          const std::string& image, bool click, bool ready) {
    JSON data = beacons(id, false);
    data["ctv"] = "{server}/" + image;
    if (click) data["clk"] = clickUrl(id);
    plans.push_back(
        {.id = id, .format = format, .subtype = "banner", .data = data, .readyByItself = ready});
  };
  banner("banner", "banner", "assets/banner.png", true, true);
  banner("banner-noclick", "banner without click", "assets/banner.png", false, true);
  banner("banner-missing", "banner whose image is missing", "assets/missing.png", true, false);
  // The banners that load over and over have a small picture: each load decodes it.
  banner("banner-refused", "banner refused 3 times", "refused/3/small.png", true, false);
  // Two ads that can never load (no such file, a page for a picture), then one refused twice
  // that lives 20 s once loaded.
  banner("chain", "third banner of its placement", "refused/2/small.png", true, false);
  plans.back().data["ttlSeconds"] = 20;
  plans.back().adsBefore = {
      adObject("chain-1", "banner", {{"ctv", "{server}/assets/chain-missing.png"}}),
      adObject("chain-2", "banner", {{"ctv", "{server}/assets/landing.html?as=picture"}})};

  const auto video = [&](const std::string& id, const std::string& format, const std::string& file,
                         double skippableIn, double duration, bool card, bool click,
                         const std::string& folder = "assets") {
    JSON data = beacons(id, false);
    data["video"] = "{server}/" + folder + "/" + file;
    data["skippableIn"] = skippableIn;
    data["duration"] = duration;
    if (card) data["landingCard"] = "{server}/assets/card.png";
    if (click) data["clk"] = clickUrl(id);
    plans.push_back({.id = id,
                     .format = format,
                     .subtype = "video",
                     .data = data,
                     .readyByItself = folder == "assets",
                     .videoFile = file,
                     .skippableIn = skippableIn});
  };
  video("video-card", "video with landing card", "video-card.webm", 2, 4, true, true);
  video("video", "video without landing card", "video-plain.webm", 0, 3, false, true);
  video("video-refused", "video refused twice", "video-refused.webm", 0, 3, false, true,
        "refused/2");
  video("video-broken", "video that cannot play", "video-broken.webm", 1, 3, false, true);
  // Its second impression beacon goes to a path the server does not know.
  plans.back().data["extraImpBeacon"] = "{server}/missing/video-broken/imp2";
  plans.back().extraImpRecorded = false;

  // A VAST inline ad in the ad's data, skippable at 2 s: its own impression and click trackers
  // go to paths of the placement, its media file is a copy of the sample video.
  JSON vast = beacons("vast", false);
  vast.erase("extraImpBeacon");
  vast["vastXml"] =
      "<VAST version=\"4.2\"><Ad><InLine><AdSystem>explorer</AdSystem><AdTitle>vast</AdTitle>"
      "<Impression>{server}/t/vast/vast-imp</Impression><Creatives><Creative>"
      "<Linear skipoffset=\"00:00:02\"><Duration>00:00:08</Duration><MediaFiles>"
      "<MediaFile delivery=\"progressive\" type=\"video/webm\" width=\"320\" height=\"180\">"
      "{server}/assets/video-vast.webm</MediaFile></MediaFiles><VideoClicks><ClickThrough>" +
      clickUrl("vast") +
      "</ClickThrough><ClickTracking>{server}/t/vast/click-tracker"
      "</ClickTracking></VideoClicks></Linear></Creative></Creatives></InLine></Ad></VAST>";
  plans.push_back({.id = "vast",
                   .format = "VAST video",
                   .subtype = "videoVast",
                   .data = vast,
                   .readyByItself = true,
                   .videoFile = "video-vast.webm",
                   .skippableIn = 2,
                   .extraImpRecorded = false});

  JSON html = beacons("html", true);
  html["markup"] = "<!-- ad:html --><a href='{server}/assets/landing.html'>Visit</a>";
  plans.push_back({.id = "html",
                   .format = "plain HTML",
                   .subtype = "html",
                   .data = html,
                   .readyByItself = true});

  for (const auto& [id, format, call] : std::vector<std::array<std::string, 3>>{
           {"mraid-close", "MRAID closing itself", "close"},
           {"mraid-open", "MRAID opening a URL", "open"},
           {"mraid-fallback", "MRAID falling back", "fallback"},
           {"mraid-video", "MRAID playing a video", "playVideo"}}) {
    JSON data = beacons(id, true);
    data["isMraid"] = true;
    data["markup"] = "<!-- ad:" + id + " --><script src='mraid.js'></script><p>" + format + "</p>";
    plans.push_back({.id = id,
                     .format = format,
                     .subtype = "mraidTag",
                     .data = data,
                     .mraid = true,
                     .creativeCall = call});
  }
  return plans;
}

/// The campaigns document for `plans`, plus a placement without ads.
inline JSON campaignFor(const std::string& appId, const std::vector<PlacementPlan>& plans) {
  JSON placements = JSON::object();
  for (const auto& plan : plans) {
    JSON ads = plan.adsBefore;
    ads.push_back(adObject(plan.id, plan.subtype, plan.data));
    placements[plan.id] = placementObject("enabled", std::move(ads));
  }
  placements["empty"] = placementObject("enabled", JSON::array());
  return campaignsFor(appId, placements);
}

/// The files the server serves under /assets/: the sample images, video and MRAID library, one
/// copy of the video per video ad, and a "video" that is not one.
inline void writeAssets(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  const fs::path samples = ZELVORA_SERVER_ASSETS_DIR;
  fs::create_directories(folder);
  const auto copy = [&](const char* from, const char* to) {
    fs::copy_file(samples / from, folder / to, fs::copy_options::overwrite_existing);
  };
  copy("sample-banner.png", "banner.png");
  copy("ic_sound_on.png", "small.png");
  copy("sample-landing-card.png", "card.png");
  copy("sample-video.webm", "video-card.webm");
  copy("sample-video.webm", "video-plain.webm");
  copy("sample-video.webm", "video-refused.webm");
  copy("sample-video.webm", "mraid-video.webm");
  copy("sample-video.webm", "video-vast.webm");
  copy("mraid.js", "mraid.js");
  copy("ic_sound_on.png", "ic_sound_on.png");
  copy("ic_sound_off.png", "ic_sound_off.png");
  copy("landing.html", "landing.html");
  // A WebM signature over garbage: downloaded as a video, unplayable.
  writeFile(folder / "video-broken.webm", "\x1A\x45\xDF\xA3 this is not a video");
}

}  // namespace zelvora::test::explorer
