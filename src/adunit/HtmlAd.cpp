#include "adunit/HtmlAd.h"

#include "RESTClient.h"
#include "adunit/components/VideoPlayer.h"
#include "adunit/types/mraid/MraidAdController.h"
#include "adunit/types/mraid/MraidConstants.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "tools/Assets.h"
#include "tools/FileLoader.h"
#include "util/Time.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/media/PlayerViewController.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {
using namespace platform;

namespace {
constexpr const char* kViewportScript =
    "var meta = document.createElement('meta');meta.name = 'viewport';meta.content = "
    "'width=device-width, initial-scale=1.0, maximum-scale=1.0, user-scalable=no';var head = "
    "document.getElementsByTagName('head')[0];head.appendChild(meta);";
}  // namespace

HtmlAd::HtmlAd(const JSON& initWithData) : Ad(initWithData) {
  isMraid = boolValue(member(data(), "isMraid"));
  isReloading = false;
  fallbackTriggered_ = false;
}

HtmlAd::~HtmlAd() {
  observeTheApplication(false);
}

std::shared_ptr<HtmlAd> HtmlAd::self() {
  return std::static_pointer_cast<HtmlAd>(shared_from_this());
}

std::optional<std::string> HtmlAd::markup() const {
  return asString(member(data(), "markup"));
}

void HtmlAd::preload() {
  if (!mraid()) {
    loadSucceeded();
    return;
  }
  const std::weak_ptr<HtmlAd> weak = self();
  const auto& base = ZelController::sharedInstance().assetBaseUrl();
  if (!base) {
    mainQueue().post([weak] {
      if (auto ad = weak.lock())
        ad->loadFailed(ZelError::invalidAd, "no asset address to load mraid.js from");
    });
    return;
  }
  FileLoader::loadZelFile(
      *base + "mraid.js",
      [weak](const std::string& path) {
        Asset::mraidJSPath = path;
        if (auto ad = weak.lock()) ad->preloadAdContent();
      },
      AssetKind::webAsset,
      [weak](const HttpError& error) {
        if (auto ad = weak.lock())
          ad->loadFailed(error.reason, "mraid.js: " + error.localizedDescription);
      });
}

void HtmlAd::preloadAdContent() {
  isLoaded = false;
  const auto text = markup();
  if (!text) {
    loadFailed(ZelError::invalidAd, "the ad has no markup");
    return;
  }
  configureWebView();
  webView->loadMarkup(*text);
  callMetricTracking("adLoad");
  watchPageLoad();
}

void HtmlAd::watchPageLoad() {
  // A page that never finishes would hold the placement for ever.
  mainQueue().postAfter(kPreloadDeadline, [weak = std::weak_ptr<HtmlAd>(self()),
                                           page = std::weak_ptr<zelvora::WebView>(webView)] {
    auto ad = weak.lock();
    const bool loading = ad && (!ad->isLoaded || ad->isReloading == true);
    if (!loading || ad->gaveUp_ || !page.lock() || ad->webView != page.lock()) return;
    ad->gaveUp_ = true;
    ad->loadFailed(ZelError::pageDidNotLoad, "the creative's page did not load in time");
  });
}

void HtmlAd::giveUp(const std::string& message, ZelError reason) {
  if (gaveUp_) return;
  gaveUp_ = true;
  loadFailed(reason, message);
}

void HtmlAd::onWebViewContentGone(const platform::WebView& page, WebContentTermination reason) {
  // Only the creative's own page counts: not one replaced or blanked since, nor a plain ad's
  // page after its showing.
  if (&page != webView.get() || pageLost_ || (!mraid() && !isPresenting())) return;
  const std::string why = std::string("the creative's web process ") + describe(reason);
  log(LogLevel::warning,
      "HTML ad page ended in placement " + placementId.value_or("") + ": " + why);
  // Memory builds up over a while; a spin stops the process at once.
  const double window = reason == WebContentTermination::exceededMemoryLimit ? kMemorySuspectSeconds
                                                                             : kSuspectSeconds;
  const bool recent = !isLoaded || isReloading == true || !pageLoadedAt_ ||
                      monotonicTime() - *pageLoadedAt_ < window;
  pageLost_ = true;
  pageLoadedAt_.reset();
  // What is left of the page is the engine's placeholder: nobody is to see it.
  if (webView) webView->isHidden = true;
  if (ownProcess_) {
    giveUp("run apart, " + why, ZelError::creativeMisbehaved);
  } else if (recent || isPresenting()) {
    runApart();
  }
  if (isPresenting()) {
    endShowing(ZelError::pageUnresponsive, why);
    return;
  }
  if (gaveUp_ || !mraid()) return;
  if (!isLoaded) {
    preloadAdContent();
    return;
  }
  reloadMraidContent();
  readinessChanged();
}

bool HtmlAd::canShow() const {
  if (isPresenting()) return false;
  return mraid() ? pageReady() && !fallbackTriggered() : isLoaded && markup().has_value();
}

void HtmlAd::configureWebView() {
  WebViewConfiguration configuration;
  bool javaScriptEnabled = true;
  if (mraid()) {
    currentContainerState = Mraid::containerLoadingState;
    auto controller = std::make_shared<UserContentController>();
    controller->add(std::make_shared<MraidAdController>(std::weak_ptr<MraidAd>(self())),
                    "mraidHostBridge");
    controller->addUserScript(
        {createInitialData(), UserScriptInjectionTime::atDocumentStart, true});
    controller->addUserScript({kViewportScript, UserScriptInjectionTime::atDocumentEnd, true});
    configuration.userContentController = controller;
  } else if (const auto& flag = member(data(), "jsEnabled"); !flag.is_null()) {
    javaScriptEnabled = boolValue(flag);
  }
  configuration.preferences.javaScriptEnabled = javaScriptEnabled;
  configuration.allowsInlineMediaPlayback = true;
  configuration.ownProcess = ownProcess_;

  webView =
      zelvora::WebView::make(std::move(configuration),
                             mraid() ? std::weak_ptr<MraidAd>(self()) : std::weak_ptr<MraidAd>());
  webView->isOpaque = false;
  webView->backgroundColor = Color::black();
  webView->scrollView.backgroundColor = Color::black();
  webView->scrollView.bounces = false;
  webView->scrollView.bouncesZoom = false;
  webView->setPageDelegate(self());
  webView->addPageFinishedDelegate(self());
  pageLost_ = false;
  // A new page knows nothing yet, and has asked for nothing.
  viewable_ = false;
  toldExposure_.reset();
  toldSizes_.clear();
  toldSize_ = {};
  sizesPending_ = false;
  closing_ = false;
  allowOrientationChange_ = true;
  forceOrientation_ = "none";
  lockedAt_.reset();
}

void HtmlAd::onWebViewStartedToLoad(const std::optional<std::string>& url) {
  if (!url || isFileUrl(*url) || *url == "about:blank") return;
  // A page blanked or gone is no longer the creative's: what it still does is nobody's click.
  if (pageLost_) return;
  if (!onScreen) {
    // Nobody saw the ad: no click. The page is leaving the creative, so it is stopped and the
    // ad is not shown.
    log(LogLevel::warning, "Navigation to " + *url + " refused: the ad is not on screen");
    closeAd();
    return;
  }
  callClickTracking();
  doRedirect(*url);
}

void HtmlAd::onWebViewFinishedToLoad() {
  const bool reloaded = isReloading == true;
  isReloading = false;
  if (pageLost_ || gaveUp_) return;            // the blank page, not the creative
  if (mraid() && fallbackTriggered()) return;  // the creative gave up while loading
  pageLoadedAt_ = monotonicTime();
  if (!isLoaded) {
    loadSucceeded();
  } else if (reloaded) {
    readinessChanged();
  }
}

void HtmlAd::reloadMraidContent() {
  if (!isLoaded || gaveUp_) return;
  isReloading = true;
  configureWebView();
  if (const auto text = markup()) {
    webView->loadMarkup(*text);
    callMetricTracking("adLoad");
    watchPageLoad();
  }
}

void HtmlAd::callClickTracking() {
  RESTClient::callBeacon(asString(member(data(), "clickTracking")));
}

void HtmlAd::callMetricTracking(const std::string& metric) {
  if (const auto url = asString(member(data(), "imp")))
    RESTClient::callBeacon(*url + "&metric=" + metric);
}

void HtmlAd::closeAd() {
  if (onScreen && !closing_) {
    // The page hears it is no longer seen before it is blanked.
    closing_ = true;
    sizesPending_ = false;
    updateExposure();
  }
  blankPage();
  if (!interstitialVC) {
    // Nothing of it is presented: a creative that closes (or leaves) its page unseen gave up.
    if (!onScreen) giveUp("the creative closed itself before it was shown");
    return;
  }
  endShowing(ZelError::creativeClosed, "the creative closed itself before it appeared");
}

void HtmlAd::blankPage() {
  if (!webView) return;
  webView->load(URLRequest{"about:blank"});
  pageLost_ = true;
}

void HtmlAd::endShowing(ZelError reason, const std::string& message) {
  if (!interstitialVC) return;
  // Read before the dismissal, which may tell this ad at once that the interstitial went.
  const bool appeared = onScreen;
  // Cleared first, for the same reason.
  auto controller = std::move(interstitialVC);
  interstitialVC.reset();
  // From its presenter: the creative's own video player, when up, goes with it.
  if (auto presenter = controller->presentingViewController())
    presenter->dismiss(true);
  else
    controller->dismiss(true);
  if (appeared) return;
  // Given up before it appeared: the host's showAd ends here, and the creative is loaded
  // afresh, in a later task (the page that asked for this may still be running).
  failToShow(reason, message);
  if (mraid()) {
    mainQueue().post([weak = std::weak_ptr<HtmlAd>(self())] {
      if (auto ad = weak.lock()) ad->reloadMraidContent();
    });
  }
}

void HtmlAd::fallback() {
  fallbackTriggered_ = true;
  callMetricTracking("fallback");
  trigger(Event::noAds);
  giveUp("the creative has no fill (fallback)");
  closeAd();
}

void HtmlAd::setFallbackTriggered(bool triggered) {
  fallbackTriggered_ = triggered;
}

void HtmlAd::setViewable(bool viewable) {
  viewable_ = viewable;
  setJSProperty("isViewable", viewable);
}

void HtmlAd::observeTheApplication(bool observe) {
  auto& application = Application::shared();
  for (const auto token : applicationObservers_) application.removeObserver(token);
  applicationObservers_.clear();
  if (const auto window = observedWindow_.lock()) window->removeVisibilityObserver(windowObserver_);
  observedWindow_.reset();
  if (!observe) return;
  const auto update = [weak = std::weak_ptr<HtmlAd>(self())] {
    if (auto ad = weak.lock()) ad->updateExposure();
  };
  applicationObservers_ = {application.addWillResignActiveObserver(update),
                           application.addDidBecomeActiveObserver(update)};
  // A hidden window covers the ad as the background does.
  if (const auto window = application.keyWindow()) {
    observedWindow_ = window;
    windowObserver_ = window->addVisibilityObserver([update](bool) { update(); });
  }
}

void HtmlAd::setOrientationProperties(bool allowOrientationChange,
                                      const std::string& forceOrientation) {
  allowOrientationChange_ = allowOrientationChange;
  forceOrientation_ =
      forceOrientation == "portrait" || forceOrientation == "landscape" ? forceOrientation : "none";
  lockedAt_.reset();
  if (forceOrientation_ == "none" && !allowOrientationChange) {
    const auto now = Application::shared().statusBarOrientation();
    lockedAt_ = now == InterfaceOrientation::unknown ? InterfaceOrientation::portrait : now;
  }
  setJSProperty("orientationProperties", getOrientationProperties());
  applyOrientationLock();
}

void HtmlAd::turnTheInterfaceFor(const ViewController& controller) {
  auto& application = Application::shared();
  const auto allowed = controller.supportedInterfaceOrientations();
  if (allowed.contains(application.statusBarOrientation())) return;
  // As a screen that supports only these does when it is presented.
  for (auto orientation :
       {InterfaceOrientation::landscapeRight, InterfaceOrientation::landscapeLeft,
        InterfaceOrientation::portrait, InterfaceOrientation::portraitUpsideDown}) {
    if (allowed.contains(orientation) && application.rotate(orientation)) return;
  }
}

std::optional<InterfaceOrientation> HtmlAd::orientationLock() const {
  if (forceOrientation_ == "landscape") return InterfaceOrientation::landscapeRight;
  if (forceOrientation_ == "portrait") return InterfaceOrientation::portrait;
  return lockedAt_;
}

void HtmlAd::applyOrientationLock() {
  if (!interstitialVC) return;  // the lock is applied when the ad is shown
  interstitialVC->requestedOrientation = orientationLock();
  turnTheInterfaceFor(*interstitialVC);
  // "locked" changed, and maybe the sizes.
  updatePresentationData();
}

bool HtmlAd::allowedOnScreenOnly(const std::string& action) {
  if (onScreen) return true;
  log(LogLevel::warning, "MRAID " + action + " refused: the ad is not on screen");
  if (mraid()) triggerEvent("error", {std::string("the ad is not on screen"), action});
  return false;
}

void HtmlAd::openUri(const std::string& uri) {
  if (!allowedOnScreenOnly("open")) return;
  callClickTracking();
  Application::shared().open(uri);
}

void HtmlAd::playVideo(const std::string& uri) {
  if (!allowedOnScreenOnly("playVideo") || !interstitialVC) return;
  auto videoPlayer = VideoPlayer::makeWithUrl(uri);
  auto controller = std::make_shared<PlayerViewController>();
  controller->setPlayer(videoPlayer->initDefaultPlayer());
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  // Over the interstitial, which stays on screen beneath: the ad is not closed by the video.
  controller->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  interstitialVC->present(controller, true, [videoPlayer, weak = std::weak_ptr<HtmlAd>(self())] {
    if (auto ad = weak.lock()) ad->updateExposure();
    if (!videoPlayer->player) return;
    if (videoPlayer->playerController) videoPlayer->showLoadingIndicator();
    videoPlayer->player->play();
  });
}

}  // namespace zelvora
