#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adunit/AdFormat.h"
#include "zelvora/Json.h"
#include "zelvora/ZelError.h"
#include "zelvora/ZelEventDeclaration.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora {

namespace platform {
class ViewController;
}

class Ad;

/// Told how an ad unit's loading goes. Each call names the unit: one its placement has given up
/// on may still finish.
class AdPreloadProtocol {
 public:
  virtual ~AdPreloadProtocol() = default;
  /// The preload finished: the ad can be shown.
  virtual void onAdLoaded(Ad& ad) = 0;
  /// The ad cannot be made ready; the reason tells whether trying again may help.
  virtual void onAdFailedToLoad(Ad& ad, ZelError reason, const std::string& message) = 0;
  /// Whether the ad can be shown changed without a load of its own: its page went (its web
  /// process ended), or loaded afresh after a showing or after that.
  virtual void onAdReadinessChanged(Ad& ad) = 0;
};

/// The life events an interstitial's view controller reports to its ad.
class ViewControllerEvents {
 public:
  virtual ~ViewControllerEvents() = default;
  virtual void onViewControllerAppeared() = 0;
  virtual void onViewControllerDisappeared() = 0;
  virtual void onViewControllerSizeChanged() = 0;
  /// After every layout pass of the view controller's screen: something may have been laid
  /// over the ad, or taken away.
  virtual void onViewControllerLaidOut() {}
};

/// The base of every ad unit: one ad of one placement, with its description, its beacons, the
/// events it reports and the click-through. Formats replace `preload` and `render`.
class Ad : public ViewControllerEvents,
           public platform::NavigationDelegate,
           public std::enable_shared_from_this<Ad> {
 public:
  /// `initWithData` is the whole ad object of the server's answer.
  explicit Ad(const JSON& initWithData);
  ~Ad() override = default;

  const std::string& id() const { return id_; }
  /// The ad object's "ad"/"data": the format's description.
  const JSON& data() const { return data_; }
  const JSON& offering() const { return offering_; }
  AdFormat format() const { return format_; }

  /// Starts loading; a format that succeeds sets `isLoaded` and tells `preloadDelegate`.
  virtual void preload() {}
  /// Presents the ad over `presentingViewController`.
  virtual void render(const std::shared_ptr<platform::ViewController>& presentingViewController) {
    (void)presentingViewController;
  }
  /// Whether a showing of this ad is under way: being presented, or on screen.
  virtual bool isPresenting() const { return false; }
  /// Whether `render` would present the ad now.
  virtual bool canShow() const { return isLoaded && !isPresenting(); }
  /// The backend it was being shown on is gone, with its screens: a showing under way ends for
  /// the host (see `endLostShowing`).
  virtual void showingLost() {}

  // How the preload went, for the formats and what loads for them.
  /// The preload finished: sets `isLoaded` and tells `preloadDelegate`.
  void loadSucceeded();
  /// The preload failed: one console line, and `preloadDelegate` is told why.
  virtual void loadFailed(ZelError reason, const std::string& message);
  /// Tells `preloadDelegate` whether the ad can be shown changed (`onAdReadinessChanged`).
  void readinessChanged();

  /// Reports `adShown` and fires the impression beacons.
  virtual void callImpBeacon();
  /// Fires the display-time beacon for an ad open since `openTime`, less the time the window was
  /// not visible; `closeTime` on the clock of `openTime`.
  virtual void callDisplayTimeBeacon(double closeTime);

  /// Reports the click and opens `url` in a web view laid over the shown interstitial, with
  /// a "Go Back" button; store addresses are handed to the system.
  virtual void doRedirect(const std::string& url);
  /// The "Go Back" action: dismisses the interstitial with the web view over it.
  virtual void dismissRedirectView();
  /// Presents `controller` over `presenter` (when it still exists) as the first screen of a
  /// showing, which the host hears of first (`onAdWillPresentScreen`).
  void presentFirstScreen(const std::shared_ptr<platform::ViewController>& presenter,
                          const std::shared_ptr<platform::ViewController>& controller,
                          std::function<void()> completion = {});

  void webViewDidCommit(platform::WebView&, platform::Navigation) override {}
  void webViewDidStartProvisionalNavigation(platform::WebView&, platform::Navigation) override {}
  void webViewDidFinish(platform::WebView& webView, platform::Navigation) override;
  void webViewDidReceiveServerRedirectForProvisionalNavigation(platform::WebView& webView,
                                                               platform::Navigation) override;
  void webViewDidFailProvisionalNavigation(platform::WebView&, platform::Navigation,
                                           const platform::WebError&) override;
  /// A click-through page whose web process ended takes the ad off the screen with it.
  void webViewWebContentProcessDidTerminate(platform::WebView& webView,
                                            platform::WebContentTermination) override;

  void onViewControllerAppeared() override;
  void onViewControllerDisappeared() override;
  void onViewControllerSizeChanged() override {}

  std::optional<std::string> placementId;
  std::weak_ptr<platform::ViewController> rootPresentingVC;
  std::weak_ptr<AdPreloadProtocol> preloadDelegate;
  std::optional<bool> isAppStoreRedirected;
  std::optional<std::string> appStoreUrl;
  /// When the ad became visible, on the monotonic clock (`monotonicTime`); none while it is not
  /// open. Never the wall clock: set back while the ad is up, it would make the time negative.
  std::optional<double> openTime;
  bool isLoaded = false;

 protected:
  /// Reports `event` for this ad's placement; skipped before a placement took the ad in.
  void trigger(Event event);
  /// Reports `adFailedToShow` for this ad's placement, with why.
  void failToShow(ZelError reason, const std::string& message);
  /// Opens `url` with the system when the system can.
  void redirect(const std::string& url);
  /// Keeps the click-through's views where the click put them as the host's view changes size.
  static void followTheHostView(const std::shared_ptr<platform::View>& hostView,
                                const std::shared_ptr<platform::View>& webView,
                                const std::shared_ptr<platform::View>& indicator,
                                const std::shared_ptr<platform::Button>& goBack);
  /// Dismisses what the host's view controller presents, if it still exists.
  virtual void dismissPresented();
  /// Whether a click-through page is still on screen: one whose showing ended may go on
  /// loading, and must not dismiss the screens of the next showing.
  static bool isShownClickThrough(const platform::WebView& webView);
  /// Ends a showing whose screens went with their backend: `adClose` once it appeared, else
  /// `adFailedToShow`. No display-time beacon: its time was measured on that backend's clock.
  void endLostShowing(bool appeared);

 private:
  /// The click-through's spinner, removed once its page has loaded.
  std::weak_ptr<platform::View> redirectIndicator_;
  std::string id_;
  JSON data_;
  JSON offering_;
  AdFormat format_;
};

}  // namespace zelvora
