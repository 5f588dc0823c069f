#include "placement/Placement.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "ControllerAccess.h"
#include "EventReasons.h"
#include "adunit/AdUnitFactory.h"
#include "net/JsonReading.h"
#include "util/Time.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

namespace {
const AdSettings& settings() {
  return ZelController::sharedInstance().adSettings();
}

/// Faults that time may mend: the network, the server, a page or document that did not come.
bool isPassing(ZelError reason) {
  switch (reason) {
    case ZelError::network:
    case ZelError::tls:
    case ZelError::timedOut:
    case ZelError::downloadFailed:
    case ZelError::pageDidNotLoad:
    case ZelError::vastWrapperTimeout:
    case ZelError::vastMediaTimeout:
      return true;
    default:
      return false;
  }
}

std::string seconds(double value) {
  return std::to_string(static_cast<long long>(std::lround(value))) + " s";
}
}  // namespace

std::uint64_t& Placement::jitterSeed() {
  static std::uint64_t seed = std::random_device{}();
  return seed;
}

Placement::Placement(std::string id) : id(std::move(id)) {
  jitter_.seed(jitterSeed() ^ std::hash<std::string>{}(this->id));
}

void Placement::setup(JSON withData) {
  data_ = std::move(withData);
  name = stringValue(member(*data_, "name"));
  status = stringValue(member(*data_, "status"));
  if (status != "enabled") return;
  processAds(member(*data_, "ads"));
  if (!ads.empty()) preload(ads.front().second);
}

void Placement::processAds(const JSON& list) {
  if (!list.is_array()) return;
  for (const JSON& adObject : list) {
    auto unit = AdUnitFactory::createAdUnit(adObject);
    if (!unit) continue;
    unit->placementId = id;
    const std::string key = stringValue(member(adObject, "adId"));
    ads.insertOrAssign(key, std::move(unit));
    adObjects_.insertOrAssign(key, adObject);
  }
}

std::shared_ptr<Ad> Placement::currentAd() const {
  if (current_ >= ads.size()) return nullptr;
  return (ads.begin() + static_cast<std::ptrdiff_t>(current_))->second;
}

bool Placement::isCurrent(const Ad& ad) const {
  const auto current = currentAd();
  return current.get() == &ad;
}

void Placement::preload(const std::shared_ptr<Ad>& unit) {
  unit->preloadDelegate = std::static_pointer_cast<AdPreloadProtocol>(shared_from_this());
  ++attempt_;
  loadedAt_.reset();
  ++expiryTimer_;
  expiryDue_ = false;
  backend_ = platform::BackendServices::generation();
  unit->preload();
}

void Placement::loadCurrent() {
  if (current_ >= ads.size()) return;
  const auto& [key, object] = *(adObjects_.begin() + static_cast<std::ptrdiff_t>(current_));
  // A fresh unit: the one before may hold a half-built page, a player, a chain of documents.
  std::shared_ptr<Ad> unit = AdUnitFactory::createAdUnit(object);
  if (!unit) return;
  unit->placementId = id;
  ads.insertOrAssign(key, unit);
  preload(unit);
}

void Placement::onAdLoaded(Ad& ad) {
  if (!isCurrent(ad)) return;
  failures_ = 0;
  failure_.reset();
  loadedAt_ = monotonicTime();
  scheduleExpiry();
  if (!announced_) {
    announced_ = true;
    toldReady_ = isReady() && internal::ControllerAccess::screenFree();
    internal::ControllerAccess::triggerPlacementEvent(Event::adReady, id);
    return;
  }
  tellReadiness(internal::ControllerAccess::screenFree());
}

void Placement::onAdReadinessChanged(Ad& ad) {
  if (isCurrent(ad)) tellReadiness(internal::ControllerAccess::screenFree());
}

void Placement::onAdFailedToLoad(Ad& ad, ZelError reason, const std::string& message) {
  if (!isCurrent(ad) || failure_) return;
  loadedAt_.reset();
  toldReady_ = false;
  failure_ = Failure{reason, message};
  ++attempt_;
  reportFailedToLoad(id, reason, message);
  // In a later turn: the unit that failed may be in the middle of a call of its own.
  platform::mainQueue().post([weak = weak_from_this(), attempt = attempt_] {
    auto self = weak.lock();
    if (self && self->attempt_ == attempt) self->settle();
  });
}

void Placement::settle() {
  if (!failure_ || failure_->retrying) return;
  if (const auto ad = currentAd(); ad && ad->isPresenting()) return;  // at the showing's end
  if (isPassing(failure_->reason)) {
    scheduleRetry();
    return;
  }
  failure_.reset();
  failures_ = 0;
  ++current_;
  if (current_ >= ads.size()) {
    log(LogLevel::warning, "ZelvoraFramework - No ad of placement " + id +
                               " could be loaded; it has none to show until the next start");
    return;
  }
  preload(currentAd());
}

void Placement::scheduleRetry() {
  const AdSettings& limits = settings();
  double delay = std::min(limits.retryInitialSeconds * std::pow(2.0, std::min(failures_, 30)),
                          limits.retryMaxSeconds);
  // Hosts that lost the same network retry apart, not all at once.
  delay += std::uniform_real_distribution<double>(0, delay / 4)(jitter_);
  ++failures_;
  failure_->retrying = true;
  log(LogLevel::info,
      "ZelvoraFramework - Placement " + id + " loads its ad again in " + seconds(delay));
  platform::mainQueue().postAfter(delay, [weak = weak_from_this(), attempt = attempt_] {
    auto self = weak.lock();
    if (self && self->attempt_ == attempt) self->retryNow();
  });
}

void Placement::retryNow() {
  failure_.reset();
  loadCurrent();
}

void Placement::networkAvailable() {
  // Whether its retry is scheduled yet or not: what waits for the network goes now.
  if (!failure_ || !isPassing(failure_->reason)) return;
  if (const auto ad = currentAd(); ad && ad->isPresenting()) return;
  retryNow();
}

void Placement::showingLost() {
  if (const auto ad = currentAd(); ad && backend_ != platform::BackendServices::generation())
    ad->showingLost();
}

void Placement::backendStarted() {
  if (!currentAd() || backend_ == platform::BackendServices::generation()) return;
  // Its views, its page and its timers went with the backend they were made on.
  failure_.reset();
  toldReady_ = false;
  loadCurrent();
}

void Placement::scheduleExpiry() {
  const double ttl = timeToLive();
  const auto armed = ++expiryTimer_;
  expiryDue_ = false;
  if (!loadedAt_ || ttl <= 0 || !platform::hasMainQueue()) return;
  const double left = *loadedAt_ + ttl - monotonicTime();
  if (left <= 0) {
    expiryDue_ = true;  // a shorter time to live: the caller reconsiders
    return;
  }
  platform::mainQueue().postAfter(left, [weak = weak_from_this(), armed] {
    auto self = weak.lock();
    if (!self || self->expiryTimer_ != armed) return;
    self->expiryDue_ = true;
    self->reconsider(internal::ControllerAccess::screenFree());
  });
}

double Placement::timeToLive() const {
  const auto ad = currentAd();
  const JSON& own = ad ? member(ad->data(), "ttlSeconds") : JSON();
  if (own.is_number() && own.get<double>() > 0) return own.get<double>();
  return settings().adTimeToLiveSeconds;
}

bool Placement::expired() const {
  return expiryDue_;
}

void Placement::expireIfDue() {
  const auto ad = currentAd();
  if (!ad || !expired() || ad->isPresenting()) return;
  const double age = monotonicTime() - *loadedAt_;
  reportFailedToLoad(id, ZelError::expired,
                     "the ad was loaded " + seconds(age) +
                         " ago, longer than its time to live of " + seconds(timeToLive()) +
                         "; it is loaded afresh");
  failures_ = 0;
  toldReady_ = false;
  loadCurrent();
}

void Placement::reconsider(bool screenFree) {
  if (const auto ad = currentAd(); ad && ad->isPresenting()) {
    toldReady_ = false;  // the host hears again once the showing is over
    return;
  }
  if (failure_) {
    settle();
    return;
  }
  expireIfDue();
  tellReadiness(screenFree);
}

std::optional<std::pair<ZelError, std::string>> Placement::whyNotReady() const {
  if (!currentAd()) {
    return std::pair{ZelError::notReady,
                     std::string("none of the placement's ads could be loaded")};
  }
  if (failure_) {
    return std::pair{ZelError::notReady,
                     "its ad failed to load and is tried again: " + failure_->message};
  }
  if (backend_ != platform::BackendServices::generation()) {
    return std::pair{ZelError::notReady,
                     std::string("its ad is being loaded again on the new platform")};
  }
  if (expired()) {
    return std::pair{
        ZelError::expired,
        std::string("the ad waited longer than its time to live; it is loaded afresh")};
  }
  return std::nullopt;
}

bool Placement::isReady() const {
  const auto ad = currentAd();
  return ad && !whyNotReady() && ad->canShow();
}

void Placement::tellReadiness(bool screenFree) {
  const bool ready = screenFree && isReady();
  if (ready && !toldReady_ && announced_) {
    toldReady_ = true;
    reportReadyAgain(id);
    return;
  }
  toldReady_ = ready;
}

}  // namespace zelvora
