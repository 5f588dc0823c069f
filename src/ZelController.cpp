#include "zelvora/ZelController.h"

#include <algorithm>
#include <cmath>

#include "ControllerAccess.h"
#include "EventReasons.h"
#include "RESTClient.h"
#include "ShowingScreens.h"
#include "adunit/Ad.h"
#include "adunit/components/DecodedImages.h"
#include "consent/ConsentManager.h"
#include "net/JsonReading.h"
#include "placement/Placement.h"
#include "placement/PlacementsParser.h"
#include "tools/SdkDirectories.h"
#include "util/MainThread.h"
#include "util/Time.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/ViewController.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora {

ZelController& ZelController::sharedInstance() {
  // Never destroyed: ad units and callbacks may still reach it while the process exits.
  static ZelController* const instance = new ZelController();
  return *instance;
}

namespace internal {

ControllerState::ControllerState()
    : restClient(std::make_unique<RESTClient>()),
      consentManager(std::make_unique<ConsentManager>()),
      screens(std::make_shared<ShowingScreens>()) {}

ControllerState::~ControllerState() = default;

}  // namespace internal

namespace {

using internal::ControllerAccess;

/// One console line with `message`, then `adFailedToShow` for the placement.
void failToShow(const std::string& placementId, ZelError reason, const std::string& message) {
  log(LogLevel::warning,
      "ZelvoraFramework - Cannot show the ad of placement " + placementId + ": " + message);
  reportFailedToShow(placementId, reason, message);
}

void cleanUpTempFiles() {
  // The application's temporary folder is shared by all its processes: each keeps its files in
  // a run folder it holds, and only folders no live process holds are emptied. Ours is made
  // first, so that a process starting meanwhile sees it held.
  if (sdkTemporaryDirectory().empty()) return;
  removeAbandonedRunFolders();
}

}  // namespace

ZelController::ZelController() : state_(std::make_unique<internal::ControllerState>()) {
  // Copies of the registry: a placement's work may call the host, who may call the SDK.
  platform::Application::shared().setNetworkAvailableHandler([] {
    const PlacementMap placements = ControllerAccess::placements();
    for (const auto& [id, placement] : placements) placement->networkAvailable();
  });
  platform::BackendServices::setStartedHandler([] { ControllerAccess::backendStarted(); });
}

ZelController::~ZelController() = default;

const std::string& ZelController::sdkVersion() const {
  return state_->sdkVersion;
}

std::shared_ptr<ZelEventDelegate> ZelController::eventDelegate() const {
  return state_->eventDelegate.lock();
}

bool ZelController::isInitialized() const {
  return state_->isInitialized;
}

const std::optional<JSON>& ZelController::additions() const {
  return state_->additions;
}

void ZelController::setAdditions(std::optional<JSON> additions) {
  state_->additions = std::move(additions);
}

void ZelController::setVastSettings(const VastSettings& settings) {
  if (!onMainThread("setVastSettings")) return;
  const VastSettings defaults;
  VastSettings& vast = state_->vast;
  vast.enabled = settings.enabled;
  vast.maxWrapperDepth =
      settings.maxWrapperDepth > 0 ? settings.maxWrapperDepth : defaults.maxWrapperDepth;
  vast.requestTimeoutSeconds = settings.requestTimeoutSeconds > 0 ? settings.requestTimeoutSeconds
                                                                  : defaults.requestTimeoutSeconds;
  vast.maxBitrateKbps =
      settings.maxBitrateKbps > 0 ? settings.maxBitrateKbps : defaults.maxBitrateKbps;
}

const VastSettings& ZelController::vastSettings() const {
  return state_->vast;
}

void ZelController::setAdSettings(const AdSettings& settings) {
  if (!onMainThread("setAdSettings")) return;
  const AdSettings defaults;
  const auto orDefault = [](double value, double fallback) {
    return value >= 0 ? value : fallback;
  };
  AdSettings& ads = state_->ads;
  ads.retryInitialSeconds = settings.retryInitialSeconds > 0 ? settings.retryInitialSeconds
                                                             : defaults.retryInitialSeconds;
  ads.retryMaxSeconds = std::max(ads.retryInitialSeconds,
                                 orDefault(settings.retryMaxSeconds, defaults.retryMaxSeconds));
  ads.adTimeToLiveSeconds = orDefault(settings.adTimeToLiveSeconds, defaults.adTimeToLiveSeconds);
  ads.minimumSecondsBetweenAds =
      orDefault(settings.minimumSecondsBetweenAds, defaults.minimumSecondsBetweenAds);
  ads.testMode = settings.testMode;
  ads.decodedImageBudgetMiB =
      orDefault(settings.decodedImageBudgetMiB, defaults.decodedImageBudgetMiB);
  DecodedImages::setBudget(static_cast<std::size_t>(ads.decodedImageBudgetMiB * 1024 * 1024));
  ControllerAccess::adSettingsChanged();
}

const AdSettings& ZelController::adSettings() const {
  return state_->ads;
}

const std::optional<std::string>& ZelController::assetBaseUrl() const {
  return state_->assetBaseUrl;
}

void ZelController::setEventDelegate(const std::shared_ptr<ZelEventDelegate>& delegate) {
  if (!onMainThread("setEventDelegate")) return;
  state_->eventDelegate = delegate;
}

void ZelController::setServerConfiguration(const ServerConfiguration& configuration) {
  if (!onMainThread("setServerConfiguration")) return;
  RESTClient::setUrl(configuration.url);
  HttpClient::shared().setCaFile(configuration.caFile);
  HttpClient::shared().setTimeout(configuration.timeoutSeconds);
  HttpClient::shared().setLimits(configuration.limits);
}

void ZelController::warmUp() {
  if (!onMainThread("warmUp", true)) return;
  platform::warmUpWebEngine();
}

void ZelController::initialize(const std::string& appId) {
  if (!onMainThread("initialize", true)) return;
  if (state_->isInitialized) return;
  state_->placements.clear();
  state_->restClient->getPlacements(
      appId, [](std::optional<JSON> json, std::optional<HttpError> error) {
        ControllerAccess::handleAnswer(
            std::move(json),
            error ? std::optional<std::string>(error->localizedDescription) : std::nullopt,
            error ? error->reason : ZelError::none);
      });
  // While the request is in flight: the answer is handled on this thread, so always after.
  cleanUpTempFiles();
}

void internal::ControllerAccess::handleAnswer(std::optional<JSON> json,
                                              const std::optional<std::string>& error,
                                              ZelError reason) {
  auto& state = ControllerAccess::state();
  // The delegate is read anew before every call: holding it across the registration would keep
  // one the host released from inside a callback.
  const auto tellInit = [] {
    if (const auto current = ZelController::sharedInstance().eventDelegate())
      current->onInit(ControllerAccess::placements().keys());
  };
  const std::uint64_t answer = ++state.answers;
  if (error) {
    reportInitError(reason, *error);
    log(LogLevel::error, "ZelvoraFramework - " + *error);
    tellInit();
    return;
  }
  const JSON& data = member(*json, "data");
  if (hasMember(*json, "data") && hasMember(data, "assetBaseUrl"))
    state.assetBaseUrl = stringValue(member(data, "assetBaseUrl"));
  if (!hasMember(*json, "data") || !hasMember(data, "placements")) {
    reportInitError(ZelError::noAds, "No ads available");
    log(LogLevel::error, "ZelvoraFramework - No ads available");
    tellInit();
    return;
  }
  // Registered over several turns of the main loop when the answer is large.
  PlacementsParser::parseData(
      std::move((*json)["data"]["placements"]),
      [tellInit] {
        ControllerAccess::state().isInitialized = true;
        tellInit();
      },
      [] { return ControllerAccess::state().answers; }, answer);
}

void ZelController::showAd(
    const std::shared_ptr<platform::ViewController>& presentingViewController,
    const std::string& placementId) {
  if (!onMainThread("showAd", true)) return;
  if (!state_->isInitialized) {
    log(LogLevel::error, "ZelvoraFramework - SDK is not initialized");
    return;
  }
  if (!presentingViewController) {
    log(LogLevel::error,
        "ZelvoraFramework - showAd needs a view controller to present the ad over");
    return;
  }
  const auto* found = state_->placements.find(placementId);
  if (found == nullptr) return;
  // Copies: rendering may replace the registry's entries.
  const std::shared_ptr<Placement> placement = *found;
  if (placement->status != "enabled") return;
  if (placement->ads.empty()) return;
  const auto why = placement->whyNotReady();
  // An expiry or a failure that waited for its turn acts now.
  placement->reconsider(ControllerAccess::screenFree());
  if (why) {
    failToShow(placementId, why->first, why->second);
    return;
  }
  const std::shared_ptr<Ad> ad = placement->currentAd();
  if (const double left = ControllerAccess::pauseLeft(); left > 0) {
    failToShow(placementId, ZelError::tooSoon,
               "too soon after the last ad: " + std::to_string(static_cast<int>(std::ceil(left))) +
                   " s of the pause between ads are left");
    return;
  }
  // One being dismissed is still on screen, but would present nothing.
  if (!presentingViewController->isOnScreen() || presentingViewController->isBeingDismissed()) {
    failToShow(placementId, ZelError::presenterNotOnScreen,
               presentingViewController->isOnScreen()
                   ? "the view controller to present the ad over is being dismissed"
                   : "the view controller to present the ad over is not on screen");
    return;
  }
  // An ad in a window no one can see would count an impression no one saw.
  if (const auto window = platform::Application::shared().keyWindow();
      window && !window->isVisible()) {
    failToShow(placementId, ZelError::windowNotVisible,
               "the window to show the ad in is not visible");
    return;
  }
  // One ad at a time: one shown over another would hide it and confuse both lifecycles.
  if (ad->isPresenting()) {
    failToShow(placementId, ZelError::anotherAdOnScreen, "the ad is on screen already");
    return;
  }
  if (!ControllerAccess::screenFree()) {
    failToShow(placementId, ZelError::anotherAdOnScreen, "another ad is on screen");
    return;
  }
  auto& rendered = state_->rendered;
  std::erase_if(rendered, [&](const std::weak_ptr<Ad>& entry) {
    return entry.expired() || entry.lock() == ad;
  });
  rendered.push_back(ad);
  ad->render(presentingViewController);
  // The placements the host was told are ready are not while this ad is up.
  ControllerAccess::reconsiderAll();
}

bool ZelController::isReady(const std::string& placementId) const {
  if (!onMainThread("isReady", true) || !state_->isInitialized) return false;
  const auto* placement = state_->placements.find(placementId);
  return placement != nullptr && (*placement)->status == "enabled" && (*placement)->isReady() &&
         ControllerAccess::screenFree();
}

bool internal::ControllerAccess::screenFree() {
  if (pauseLeft() > 0) return false;
  return std::none_of(state().rendered.begin(), state().rendered.end(), [](const auto& entry) {
    const auto ad = entry.lock();
    return ad && ad->isPresenting();
  });
}

double internal::ControllerAccess::pauseLeft() {
  const auto& ended = state().lastShowingEnded;
  const double pause = state().ads.minimumSecondsBetweenAds;
  if (pause <= 0) return 0;
  if (screens().showing()) {
    const auto& all = placements();
    const bool closed = std::none_of(all.begin(), all.end(), [](const auto& entry) {
      const auto ad = entry.second->currentAd();
      return ad && ad->isPresenting();
    });
    if (closed) return pause;
  }
  return ended ? std::max(0.0, *ended + pause - monotonicTime()) : 0;
}

void internal::ControllerAccess::showingEnded() {
  state().lastShowingEnded = monotonicTime();
  schedulePauseEnd();
  reconsiderAll();
}

void internal::ControllerAccess::schedulePauseEnd() {
  const auto armed = ++state().pauseTimer;
  const double left = pauseLeft();
  if (left <= 0) return;
  platform::mainQueue().postAfter(left, [armed] {
    if (state().pauseTimer != armed) return;
    // The timer's due time and the pause's end are sums of different terms: a hair of the
    // pause may be left when it fires.
    if (pauseLeft() > 0) {
      schedulePauseEnd();
    } else {
      reconsiderAll();
    }
  });
}

void internal::ControllerAccess::backendStarted() {
  const PlacementMap copy = placements();
  for (const auto& [id, placement] : copy) placement->showingLost();
  screens().backendStarted();
  if (state().lastShowingEnded) showingEnded();
  for (const auto& [id, placement] : copy) placement->backendStarted();
}

void internal::ControllerAccess::adSettingsChanged() {
  if (!platform::hasMainQueue()) return;  // the next backend's start reconsiders everything
  const PlacementMap copy = placements();
  for (const auto& [id, placement] : copy) placement->scheduleExpiry();
  schedulePauseEnd();
  reconsiderAll();
}

void internal::ControllerAccess::reconsiderAll() {
  const PlacementMap copy = placements();
  const bool free = screenFree();
  for (const auto& [id, placement] : copy) placement->reconsider(free);
}

JSON ZelController::getConsentData() {
  if (!onMainThread("getConsentData")) return JSON::object();
  return state_->consentManager->consentData();
}

ConsentState ZelController::getConsentState() const {
  if (!onMainThread("getConsentState")) return ConsentState::unknown;
  return state_->consentManager->state();
}

void ZelController::updateContestState(ConsentState state, const std::string& wording,
                                       std::int64_t obtainedTimestampInSec) {
  if (!onMainThread("updateContestState")) return;
  state_->consentManager->set(state, wording, obtainedTimestampInSec);
}

bool ZelController::setConsentStrings(const ConsentStrings& strings) {
  if (!onMainThread("setConsentStrings")) return false;
  if (const auto why = state_->consentManager->setStrings(strings)) {
    log(LogLevel::error, "ZelvoraFramework - setConsentStrings refused: " + *why);
    return false;
  }
  return true;
}

ConsentStrings ZelController::consentStrings() const {
  if (!onMainThread("consentStrings")) return {};
  return state_->consentManager->strings();
}

void ZelController::addEmulatedIp(const std::string& ip) {
  if (state_->additions && state_->additions->is_object()) (*state_->additions)["emulatedIp"] = ip;
}

void ZelController::setCourse(const std::string&) {}

void internal::ControllerAccess::triggerPlacementEvent(Event event,
                                                       const std::string& placementId) {
  log(LogLevel::trace,
      "ZelController: " + std::string(logName(event)) + " for placement " + placementId);
  if (event == Event::onInit) return;
  // A showing that ended frees the screen before its screens have gone: the placements that can
  // be shown now are told, in a later task (the ad is in the middle of its own call).
  if (event == Event::adClose || event == Event::adFailedToShow)
    platform::postToMainQueue([] { reconsiderAll(); });
  const auto delegate = ZelController::sharedInstance().eventDelegate();
  if (!delegate) return;
  switch (event) {
    case Event::noAds:
      delegate->onNoAds(placementId);
      break;
    case Event::adReady:
      delegate->onAdReady(placementId);
      break;
    case Event::adShown:
      delegate->onAdShown(placementId);
      break;
    case Event::adFailedToShow:
      delegate->onAdFailedToShow(placementId);
      break;
    case Event::adClose:
      delegate->onAdClose(placementId);
      break;
    case Event::adClick:
      delegate->onAdClick(placementId);
      break;
    case Event::onInit:
      break;
  }
}

}  // namespace zelvora
