#pragma once

#include "adunit/types/InterstitialHtml.h"
#include "support/SdkTest.h"
#include "tools/Assets.h"

namespace zelvora::test {

/// One ad of any format as placement "p", served with the server's sample files (a banner, a
/// video, the sound icons and mraid.js) under the names the formats' data use.
class FormatTest : public SdkTest {
 protected:
  FormatTest() {
    const fs::path samples = ZELVORA_SERVER_ASSETS_DIR;
    fs::create_directories(assets);
    fs::copy_file(samples / "sample-video.webm", assets / "video.webm");
    fs::copy_file(samples / "sample-banner.png", assets / "banner.png");
    for (const char* file : {"ic_sound_on.png", "ic_sound_off.png", "mraid.js"})
      fs::copy_file(samples / file, assets / file);
  }

  /// Initialises with ad "a" of `subtype` and, once it is ready, shows it over the root and
  /// completes the presentation; the page loads as each format needs (an MRAID ad's to be
  /// ready, a plain one's to be shown). Returns at once when the placement has no ads.
  void showFormat(const std::string& subtype, const JSON& data) {
    sdk().setVastSettings({.enabled = true});
    startServer(oneAdCampaign("a", subtype, data), assets);
    initializeAndWait("app");
    const auto loadPage = [&] {
      const auto ad = firstAdOf<InterstitialHtml>();
      ASSERT_TRUE(runUntil([&] { return ad->webView != nullptr; }));
      driver.finishLoading(ad->webView);
    };
    if (subtype == "mraidTag") loadPage();
    ASSERT_TRUE(
        runUntil([&] { return delegate->has("onAdReady:p") || delegate->has("onNoAds:p"); }));
    if (delegate->has("onNoAds:p")) return;
    // The video's screen is laid out with its sound button.
    if (subtype.starts_with("video")) {
      ASSERT_TRUE(runUntil([] { return Asset::iconSoundOffPath.has_value(); }));
    }
    sdk().showAd(root(), "p");
    if (subtype == "html") loadPage();
    runLoop().advance(0.3);
  }

  fs::path assets = folder.path() / "assets";
};

}  // namespace zelvora::test
