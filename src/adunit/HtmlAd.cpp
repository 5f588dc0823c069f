#include "adunit/HtmlAd.h"

#include "RESTClient.h"
#include "adunit/components/VideoPlayer.h"
#include "adunit/types/mraid/MraidAdController.h"
#include "adunit/types/mraid/MraidConstants.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "tools/Assets.h"
#include "tools/FileLoader.h"
#include "zelvora/ZelController.h"
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

std::shared_ptr<HtmlAd> HtmlAd::self() {
  return std::static_pointer_cast<HtmlAd>(shared_from_this());
}

std::optional<std::string> HtmlAd::markup() const {
  return asString(member(data(), "markup"));
}

void HtmlAd::preload() {
  if (!mraid()) {
    isLoaded = true;
    if (auto delegate = preloadDelegate.lock()) delegate->onAdLoaded();
    return;
  }
  const auto& base = ZelController::sharedInstance().assetBaseUrl();
  if (!base) return;
  FileLoader::loadZelFile(*base + "mraid.js",
                          [weak = std::weak_ptr<HtmlAd>(self())](const std::string& path) {
                            Asset::mraidJSPath = path;
                            if (auto ad = weak.lock()) ad->preloadAdContent();
                          });
}

void HtmlAd::preloadAdContent() {
  isLoaded = false;
  if (!mraid()) return;
  configureWebView();
  if (const auto text = markup()) {
    webView->loadMarkup(*text);
    callMetricTracking("adLoad");
  }
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

  webView =
      zelvora::WebView::make(std::move(configuration),
                             mraid() ? std::weak_ptr<MraidAd>(self()) : std::weak_ptr<MraidAd>());
  webView->isOpaque = false;
  webView->backgroundColor = Color::black();
  webView->scrollView.backgroundColor = Color::black();
  webView->scrollView.bounces = false;
  webView->scrollView.bouncesZoom = false;
  webView->setPageStartedDelegate(self());
  webView->addPageFinishedDelegate(self());
}

void HtmlAd::onWebViewStartedToLoad(const std::optional<std::string>& url) {
  if (!url || isFileUrl(*url) || *url == "about:blank") return;
  callClickTracking();
  doRedirect(*url);
}

void HtmlAd::onWebViewFinishedToLoad() {
  isReloading = false;
  if (isLoaded) return;
  if (mraid() && fallbackTriggered()) return;  // the creative gave up while loading
  isLoaded = true;
  if (auto delegate = preloadDelegate.lock()) delegate->onAdLoaded();
}

void HtmlAd::reloadMraidContent() {
  if (!isLoaded) return;
  isReloading = true;
  configureWebView();
  if (const auto text = markup()) {
    webView->loadMarkup(*text);
    callMetricTracking("adLoad");
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
  if (webView) webView->load(URLRequest{"about:blank"});
  if (interstitialVC) {
    // Cleared first: the dismissal tells this ad that the interstitial disappeared.
    auto controller = std::move(interstitialVC);
    interstitialVC.reset();
    controller->dismiss(true);
  }
}

void HtmlAd::fallback() {
  fallbackTriggered_ = true;
  callMetricTracking("fallback");
  trigger(Event::noAds);
  closeAd();
}

void HtmlAd::setFallbackTriggered(bool triggered) {
  fallbackTriggered_ = triggered;
}

void HtmlAd::setViewable(bool viewable) {
  setJSProperty("isViewable", viewable);
}

void HtmlAd::openUri(const std::string& uri) {
  callClickTracking();
  Application::shared().open(uri);
}

void HtmlAd::playVideo(const std::string& uri) {
  if (!interstitialVC) return;  // nothing on screen to play over
  auto videoPlayer = VideoPlayer::makeWithUrl(uri);
  auto controller = std::make_shared<PlayerViewController>();
  controller->setPlayer(videoPlayer->initDefaultPlayer());
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  // Over the interstitial, which stays on screen beneath: the ad is not closed by the video.
  controller->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  interstitialVC->present(controller, true, [videoPlayer] {
    if (!videoPlayer->player) return;
    if (videoPlayer->playerController) videoPlayer->showLoadingIndicator();
    videoPlayer->player->play();
  });
}

}  // namespace zelvora
