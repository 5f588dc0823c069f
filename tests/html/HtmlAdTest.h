#pragma once

#include "ControllerAccess.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "adunit/types/InterstitialHtml.h"
#include "support/SdkTest.h"

namespace zelvora::test {

/// One HTML ad "h" of placement "p", served with a small "mraid.js" by the reference server;
/// the test driver plays both the user and the page.
class HtmlAdTest : public SdkTest {
 protected:
  static constexpr const char* kLibrary = "/* library */ window.mraidLibrary = true;";

  HtmlAdTest() {
    fs::create_directories(assets);
    writeFile(assets / "mraid.js", kLibrary);
  }

  static JSON plainData() {
    return {{"markup", "<a href='https://example.com/landing'>Visit</a>"},
            {"clickTracking", "{server}/t/click"},
            {"imp", "{server}/t/imp?ad=h"},
            {"adCloseBeaconUrl", "{server}/t/close?length={length}"}};
  }
  static JSON mraidData() {
    JSON data = plainData();
    data["isMraid"] = true;
    data["markup"] = "<script src='mraid.js'></script><p>creative</p>";
    return data;
  }

  /// Initialises the SDK with `data` as the ad's data. An MRAID ad's page is left loading.
  void initializeWith(JSON data, const std::string& subtype = "html") {
    startServer(oneAdCampaign("h", subtype, data), assets);
    initializeAndWait("app");
  }
  /// App "app" with placement "p" holding `count` MRAID ads "h1", "h2", ...
  static JSON mraidAds(int count) {
    JSON ads = JSON::array();
    for (int i = 1; i <= count; ++i)
      ads.push_back(adObject("h" + std::to_string(i), "mraidTag", mraidData()));
    return campaignsFor("app", {{"p", placementObject("enabled", ads)}});
  }
  /// An MRAID ad whose page has loaded: the ad is ready.
  void initializeReadyMraid(JSON data = mraidData()) {
    initializeWith(std::move(data), "mraidTag");
    ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
    driver.finishLoading(ad()->webView);
    ASSERT_TRUE(delegate->has("onAdReady:p"));
  }

  std::shared_ptr<InterstitialHtml> ad() { return firstAdOf<InterstitialHtml>(); }
  bool onScreen() const {
    return std::dynamic_pointer_cast<InterstitialViewController>(top()) != nullptr;
  }
  void show() {
    sdk().showAd(root(), "p");
    runLoop().advance(0.3);
  }

  /// The scripts evaluated in `webView` from the `from`th journal entry on.
  static std::vector<std::string> scripts(const std::shared_ptr<platform::WebView>& webView,
                                          std::size_t from = 0) {
    std::vector<std::string> found;
    const auto& journal = webView->journal();
    for (std::size_t i = from; i < journal.size(); ++i) {
      if (journal[i].kind == platform::PageRecord::Kind::script) found.push_back(journal[i].text);
    }
    return found;
  }

  fs::path assets = folder.path() / "assets";
};

}  // namespace zelvora::test
