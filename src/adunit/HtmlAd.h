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
#include "adunit/types/mraid/MraidExposure.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {

/// A value written into the page: a boolean, an integer, or text inserted as it stands (a
/// JSON text, or a string literal its caller quoted).
using JSValue = std::variant<bool, std::int64_t, std::string>;
/// An event parameter: a number, or a string sent as an escaped string literal.
using MraidParam = std::variant<std::int64_t, double, std::string>;

/// The ad unit of the HTML formats. A plain HTML ad ("isMraid" false) is ready at once and
/// loads its markup when shown; an MRAID ad downloads "mraid.js", renders its markup off
/// screen in a web view carrying the MRAID environment and the script bridge, and is ready
/// when that page has loaded. Navigations the creative starts are clicks, once the ad is on
/// screen; before that, what only a user who saw the ad may cause is refused.
class HtmlAd : public Ad,
               public WebViewPageDelegate,
               public WebViewPageFinishedDelegate,
               public MraidAd {
 public:
  explicit HtmlAd(const JSON& initWithData);
  ~HtmlAd() override;

  void preload() override;
  bool canShow() const override;

  /// Builds a new web view for the ad (JavaScript, user scripts, bridge, look) in `webView`.
  void configureWebView();
  /// After the ad was shown: the creative again, in a fresh web view; the ad stays ready.
  void reloadMraidContent();
  void callMetricTracking(const std::string& metric);

  void onWebViewStartedToLoad(const std::optional<std::string>& url) override;
  void onWebViewFinishedToLoad() override;
  /// The page went with its web process. A showing under way ends (`pageUnresponsive` before
  /// the ad appeared, its close after), and a page that may have ended the shared process
  /// (loading, loaded a moment ago, or being shown) runs in a process of its own from now on,
  /// where a second end is the creative's own doing: the ad is given up
  /// (`creativeMisbehaved`). Otherwise the page is loaded again, and the ad is not ready
  /// meanwhile.
  void onWebViewContentGone(const platform::WebView& page,
                            platform::WebContentTermination reason) override;

  // MraidAd
  void closeAd() override;
  void openUri(const std::string& uri) override;
  void playVideo(const std::string& uri) override;
  void setViewable(bool viewable) override;
  void fallback() override;
  void setFallbackTriggered(bool triggered) override;
  void setContainerState(const std::string& state) override;
  void setOrientationProperties(bool allowOrientationChange,
                                const std::string& forceOrientation) override;

  // What the creative is told (HtmlAdMraidScripts.cpp).

  std::string createMraidEnvObject() const;
  /// Everything the page learns when the ad is shown: features, sizes, positions, orientation.
  std::string createPresentationData() const;
  /// "window.mraidData.<name> = <value>;".
  static std::string createJSProperty(const std::string& name, const JSValue& value);
  void setJSProperty(const std::string& name, const JSValue& value);
  /// Calls `mraidController.triggerEvent(event, params)` in the page.
  void triggerEvent(const std::string& event, const std::vector<MraidParam>& params);
  /// After a layout or a turn: every size-related property that changed, then "sizeChange"
  /// when the ad's size did, then the exposure when it changed.
  void updatePresentationData();
  /// Tells the page its exposure (and viewability) when they changed since it was last told.
  void updateExposure();
  /// What the user can see of the ad now: nothing unless it is on screen, in the foreground
  /// and not closing; less what other screens (the creative's player, the click-through)
  /// lay over it.
  MraidExposure currentExposure() const;

  std::string getScreenSize() const;
  std::string getMaxSize() const;
  /// The web view's own frame in screen points: the page's viewport.
  std::string getDefaultPosition() const;
  std::string getExpandProperties() const;
  std::string getCurrentAppOrientation() const;
  std::string getOrientationProperties() const;
  /// The orientation the interstitial is held in, if the creative asked for a lock.
  std::optional<platform::InterfaceOrientation> orientationLock() const;

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
  /// The page was told what the presentation data holds (sizes, viewable).
  void notePresentationTold();
  /// Holds the interstitial in the creative's orientation, turning the interface if needed.
  void applyOrientationLock();
  /// Turns the interface to an orientation `controller` supports, when it is in another.
  static void turnTheInterfaceFor(const platform::ViewController& controller);
  /// Follows the application to the background and back while the ad is on screen.
  void observeTheApplication(bool observe);
  /// Replaces the creative's page by a blank one: whatever it was doing stops.
  void blankPage();
  /// Ends the showing under way: the ad's close once it appeared, else the host's showAd fails
  /// with `reason` and an MRAID page is loaded afresh.
  void endShowing(ZelError reason, const std::string& message);
  /// From now on the creative's pages run in a web process of their own.
  void runApart() { ownProcess_ = true; }

 private:
  /// The script run before the page's own: environment, first properties, "mraid.js".
  std::string createInitialData() const;
  void preloadAdContent();
  /// Tells the placement, once, that the creative gave up.
  void giveUp(const std::string& message, ZelError reason = ZelError::creativeGaveUp);
  /// Gives the ad up when the page just given to the web view has not finished in time.
  void watchPageLoad();
  static constexpr double kPreloadDeadline = 30;
  void callClickTracking();
  /// Whether `action` of the creative may run: only while the ad is on screen. An MRAID
  /// creative is told why not through an "error" event.
  bool allowedOnScreenOnly(const std::string& action);

  /// The size-related property assignments the page was last given.
  std::string sizePropertiesScript() const;
  std::vector<MraidParam> exposureParams(const MraidExposure& exposure) const;

  std::optional<bool> fallbackTriggered_;
  /// The web view no longer holds the creative's page.
  bool pageLost_ = false;
  /// The creative's pages run in a web process of their own (see `onWebViewContentGone`).
  bool ownProcess_ = false;
  /// When the current page finished loading, on the monotonic clock.
  std::optional<double> pageLoadedAt_;
  /// A page that ends its process within this long of loading may have ended it; by its
  /// memory, within the longer time.
  static constexpr double kSuspectSeconds = 10;
  static constexpr double kMemorySuspectSeconds = 60;
  /// The creative gave up (fallback, a close while unseen) or its page never loaded: the ad is
  /// done with; its placement moves on.
  bool gaveUp_ = false;
  /// What the current page was last told: "isViewable", the exposure event, the sizes.
  bool viewable_ = false;
  std::optional<MraidExposure> toldExposure_;
  std::string toldSizes_;
  platform::Size toldSize_;
  /// New sizes are on their way to the page.
  bool sizesPending_ = false;
  /// A close is under way: the ad is no longer seen.
  bool closing_ = false;
  /// The creative's orientation properties for the current page.
  bool allowOrientationChange_ = true;
  std::string forceOrientation_ = "none";
  std::optional<platform::InterfaceOrientation> lockedAt_;
  std::vector<platform::Application::ObserverToken> applicationObservers_;
  /// The window whose visibility the exposure follows, and the token of that observer.
  std::weak_ptr<platform::Window> observedWindow_;
  platform::Window::ObserverToken windowObserver_ = 0;
};

}  // namespace zelvora
