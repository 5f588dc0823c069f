#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "adunit/Ad.h"
#include "adunit/components/WebView.h"
#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/FrameView.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "adunit/types/mraid/MraidAd.h"

namespace zelvora {

/// A value written into the page: a boolean, an integer, or text inserted as it stands (a
/// JSON text, or a string literal its caller quoted).
using JSValue = std::variant<bool, std::int64_t, std::string>;
/// An event parameter: an integer, or a string sent as an escaped string literal.
using MraidParam = std::variant<std::int64_t, std::string>;

/// The ad unit of the HTML formats. A plain HTML ad ("isMraid" false) is ready at once and
/// loads its markup when shown; an MRAID ad downloads "mraid.js", renders its markup off
/// screen in a web view carrying the MRAID environment and the script bridge, and is ready
/// when that page has loaded. Navigations the creative starts are clicks, once the ad is on
/// screen; before that, what only a user who saw the ad may cause is refused.
class HtmlAd : public Ad,
               public WebViewPageStartedDelegate,
               public WebViewPageFinishedDelegate,
               public MraidAd {
 public:
  explicit HtmlAd(const JSON& initWithData);

  void preload() override;

  /// Builds a new web view for the ad (JavaScript, user scripts, bridge, look) in `webView`.
  void configureWebView();
  /// After the ad was shown: the creative again, in a fresh web view; the ad stays ready.
  void reloadMraidContent();
  void callMetricTracking(const std::string& metric);

  void onWebViewStartedToLoad(const std::optional<std::string>& url) override;
  void onWebViewFinishedToLoad() override;

  // MraidAd
  void closeAd() override;
  void openUri(const std::string& uri) override;
  void playVideo(const std::string& uri) override;
  void setViewable(bool viewable) override;
  void fallback() override;
  void setFallbackTriggered(bool triggered) override;
  void setContainerState(const std::string& state) override;

  // What the creative is told (HtmlAdMraidScripts.cpp).

  std::string createMraidEnvObject() const;
  /// Everything the page learns when the ad is shown: features, sizes, positions, orientation.
  std::string createPresentationData() const;
  /// "window.mraidData.<name> = <value>;".
  static std::string createJSProperty(const std::string& name, const JSValue& value);
  void setJSProperty(const std::string& name, const JSValue& value);
  /// Calls `mraidController.triggerEvent(event, params)` in the page.
  void triggerEvent(const std::string& event, const std::vector<MraidParam>& params);
  /// After a size change: the new position, then "sizeChange" and "exposureChange".
  void updatePresentationData();

  std::string getScreenSize() const;
  std::string getMaxSize() const;
  std::string getDefaultPosition() const;
  std::string getExpandProperties() const;
  std::string getCurrentAppOrientation() const;
  std::string getOrientationProperties() const;

  std::shared_ptr<InterstitialViewController> interstitialVC;
  std::shared_ptr<WebView> webView;
  std::shared_ptr<AdContainerView> container;
  std::shared_ptr<FrameView> frame;
  std::optional<bool> isMraid;
  std::optional<bool> isReloading;
  std::optional<std::string> currentContainerState;

 protected:
  bool mraid() const { return isMraid == true; }
  /// Whether the creative's page can be shown: loaded, not being reloaded, and neither blanked
  /// nor navigated away since.
  bool pageReady() const { return isLoaded && isReloading != true && !pageLost_; }
  /// The interstitial has appeared and not yet disappeared.
  bool onScreen = false;
  bool fallbackTriggered() const { return fallbackTriggered_ == true; }
  /// The ad's markup, when "markup" is a JSON string.
  std::optional<std::string> markup() const;
  std::shared_ptr<HtmlAd> self();

 private:
  /// The script run before the page's own: environment, first properties, "mraid.js".
  std::string createInitialData() const;
  void preloadAdContent();
  void callClickTracking();
  /// Whether `action` of the creative may run: only while the ad is on screen. An MRAID
  /// creative is told why not through an "error" event.
  bool allowedOnScreenOnly(const std::string& action);

  std::optional<bool> fallbackTriggered_;
  /// The web view no longer holds the creative's page.
  bool pageLost_ = false;
};

}  // namespace zelvora
