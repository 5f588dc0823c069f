#include "zelvora/platform/media/Player.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "zelvora/Log.h"

namespace zelvora::platform {
namespace {

/// How far (in seconds) the playback position may be from a report's due time and still count
/// as being there: the position is computed from clock readings and carries rounding errors.
constexpr double onTime = 1e-6;

/// What a player gets when no backend can open its item: it never plays.
class UnplayableEngine final : public PlayerEngine {
 public:
  PlayerItemStatus status() const override { return PlayerItemStatus::failed; }
  std::string error() const override { return "no player backend is installed"; }
  void setFailureHandler(std::function<void()>) override {}
  std::optional<double> duration() const override { return std::nullopt; }
  double currentTime() const override { return 0; }
  bool play(std::function<void()>) override { return false; }
  void pause() override {}
  void setVolume(float) override {}
};

std::shared_ptr<PlayerEngine> openEngine(const std::string& url);

}  // namespace

std::shared_ptr<Player> Player::make(const std::string& url) {
  return make(PlayerItem::make(url));
}

std::shared_ptr<Player> Player::make(std::shared_ptr<PlayerItem> item) {
  auto player = std::make_shared<Player>(Passkey{});
  player->replaceCurrentItem(std::move(item));
  return player;
}

// Pending reports hold the player weakly; they find it gone and do nothing.
Player::~Player() = default;

void Player::replaceCurrentItem(std::shared_ptr<PlayerItem> item) {
  auto self = shared_from_this();
  if (engine_) {
    engine_->setFailureHandler(nullptr);
    engine_->pause();
  }
  cancelReports();
  ++session_;
  const std::uint64_t generation = ++itemGeneration_;
  failureReported_ = false;
  engine_ = item ? openEngine(item->url()) : nullptr;
  item_ = std::move(item);
  if (engine_) {
    engine_->setVolume(volume_);
    std::weak_ptr<Player> weak = self;
    const auto failed = [weak, generation] {
      if (auto player = weak.lock()) player->didFail(generation);
    };
    engine_->setFailureHandler(failed);
    if (engine_->status() == PlayerItemStatus::failed && hasMainQueue()) mainQueue().post(failed);
  }
  setRate(0);
}

void Player::play() {
  if (!engine_ || rate_ != 0) return;
  auto self = shared_from_this();
  const std::uint64_t session = ++session_;
  std::weak_ptr<Player> weak = self;
  const bool started = engine_->play([weak, session] {
    if (auto player = weak.lock()) player->didReachEnd(session);
  });
  if (!started) return;
  const double position = engine_->currentTime();
  for (auto& [token, observer] : timeObservers_) scheduleNext(token, observer, position);
  mainQueue().post([weak, session] {
    auto player = weak.lock();
    if (!player || player->session_ != session) return;
    player->reportToAll(player->engine_->currentTime(), session, false);
  });
  setRate(1);
}

void Player::pause() {
  if (rate_ == 0) return;
  auto self = shared_from_this();
  engine_->pause();
  cancelReports();
  ++session_;
  setRate(0);
}

void Player::setVolume(float volume) {
  volume_ = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
  if (engine_) engine_->setVolume(volume_);
}

double Player::currentTime() const {
  return engine_ ? engine_->currentTime() : 0;
}

std::optional<double> Player::duration() const {
  return engine_ ? engine_->duration() : std::nullopt;
}

PlayerItemStatus Player::status() const {
  return engine_ ? engine_->status() : PlayerItemStatus::failed;
}

std::string Player::error() const {
  return engine_ ? engine_->error() : std::string();
}

Player::ObserverToken Player::addPeriodicTimeObserver(double intervalSeconds,
                                                      TimeCallback callback) {
  if (!(intervalSeconds > 0) || !std::isfinite(intervalSeconds)) return 0;
  const ObserverToken token = nextToken_++;
  auto& observer = timeObservers_[token];
  observer.interval = intervalSeconds;
  observer.callback = std::move(callback);
  if (rate_ != 0) scheduleNext(token, observer, engine_->currentTime());
  return token;
}

void Player::removeTimeObserver(ObserverToken token) {
  auto it = timeObservers_.find(token);
  if (it == timeObservers_.end()) return;
  if (it->second.timer && hasMainQueue()) mainQueue().cancel(*it->second.timer);
  timeObservers_.erase(it);
}

Player::ObserverToken Player::addRateObserver(std::function<void()> observer) {
  const ObserverToken token = nextToken_++;
  rateObservers_.emplace(token, std::move(observer));
  return token;
}

void Player::removeRateObserver(ObserverToken token) {
  rateObservers_.erase(token);
}

Player::ObserverToken Player::addFailureObserver(
    std::function<void(const std::string& reason)> observer) {
  const ObserverToken token = nextToken_++;
  failureObservers_.emplace(token, std::move(observer));
  return token;
}

void Player::removeFailureObserver(ObserverToken token) {
  failureObservers_.erase(token);
}

// Callbacks may change the player in any way: each notice walks a copy of the tokens, looks
// each observer up again, and calls a copy of its callback.

void Player::setRate(double rate) {
  if (rate == rate_) return;
  rate_ = rate;
  std::vector<ObserverToken> tokens;
  for (const auto& entry : rateObservers_) tokens.push_back(entry.first);
  for (const ObserverToken token : tokens) {
    auto it = rateObservers_.find(token);
    if (it == rateObservers_.end()) continue;
    auto observer = it->second;
    if (observer) observer();
  }
}

void Player::reportToAll(double time, std::uint64_t session, bool skipRepeated) {
  std::vector<ObserverToken> tokens;
  for (const auto& entry : timeObservers_) tokens.push_back(entry.first);
  for (const ObserverToken token : tokens) {
    if (session_ != session) return;
    auto it = timeObservers_.find(token);
    if (it == timeObservers_.end()) continue;
    auto& observer = it->second;
    if (skipRepeated && observer.lastReported && std::abs(*observer.lastReported - time) <= onTime)
      continue;
    observer.lastReported = time;
    auto callback = observer.callback;
    if (callback) callback(time);
  }
}

void Player::scheduleNext(ObserverToken token, TimeObserver& observer, double position) {
  // The first multiple of the interval after `position`; the report when playback starts
  // covers `position` itself.
  observer.nextIndex =
      static_cast<std::int64_t>(std::floor(position / observer.interval + onTime)) + 1;
  arm(token, observer, std::max(0.0, observer.nextIndex * observer.interval - position));
}

void Player::arm(ObserverToken token, TimeObserver& observer, double delay) {
  observer.timer =
      mainQueue().postAfter(delay, [weak = weak_from_this(), token, session = session_] {
        if (auto player = weak.lock()) player->reportDue(token, session);
      });
}

void Player::reportDue(ObserverToken token, std::uint64_t session) {
  if (session != session_ || rate_ == 0) return;
  auto it = timeObservers_.find(token);
  if (it == timeObservers_.end()) return;
  auto self = shared_from_this();
  auto& observer = it->second;
  observer.timer.reset();
  const double position = engine_->currentTime();
  const double due = observer.nextIndex * observer.interval;
  if (position < due - onTime) {
    // The media lags behind the clock (a backend waiting for data): wait for it.
    arm(token, observer, due - position);
    return;
  }
  // On time, the next report is one interval later, so that reports stay on whole multiples
  // of the clock's steps; a late one catches up with the position.
  ++observer.nextIndex;
  double delay = observer.interval;
  if (position > due + onTime) {
    while (observer.nextIndex * observer.interval <= position + onTime) ++observer.nextIndex;
    delay = observer.nextIndex * observer.interval - position;
  }
  arm(token, observer, delay);
  observer.lastReported = due;
  auto callback = observer.callback;
  if (callback) callback(due);
}

void Player::didReachEnd(std::uint64_t session) {
  if (session != session_ || rate_ == 0) return;
  auto self = shared_from_this();
  cancelReports();
  reportToAll(engine_->currentTime(), session, true);
  // An observer may have paused or replaced the item meanwhile; the rate is then 0 already.
  if (session != session_) return;
  ++session_;
  setRate(0);
}

void Player::didFail(std::uint64_t item) {
  if (item != itemGeneration_ || failureReported_ || !engine_) return;
  failureReported_ = true;
  auto self = shared_from_this();
  const std::string reason = engine_->error();
  if (rate_ != 0) {
    cancelReports();
    ++session_;
    setRate(0);
  }
  std::vector<ObserverToken> tokens;
  for (const auto& entry : failureObservers_) tokens.push_back(entry.first);
  for (const ObserverToken token : tokens) {
    if (item != itemGeneration_) return;  // an observer put another item in place
    auto it = failureObservers_.find(token);
    if (it == failureObservers_.end()) continue;
    auto observer = it->second;
    if (observer) observer(reason);
  }
}

void Player::cancelReports() {
  const bool canCancel = hasMainQueue();
  for (auto& entry : timeObservers_) {
    auto& timer = entry.second.timer;
    if (timer && canCancel) mainQueue().cancel(*timer);
    timer.reset();
  }
}

namespace {

PlayerEngineFactory& installedFactory() {
  static PlayerEngineFactory factory;
  return factory;
}

std::shared_ptr<PlayerEngine> openEngine(const std::string& url) {
  std::shared_ptr<PlayerEngine> engine;
  if (auto& factory = installedFactory()) {
    engine = factory(url);
  } else {
    log(LogLevel::warning, "media: no player backend is installed; " + url + " will not play");
  }
  return engine ? engine : std::make_shared<UnplayableEngine>();
}

}  // namespace

void installPlayerEngineFactory(PlayerEngineFactory factory) {
  installedFactory() = std::move(factory);
}

bool hasPlayerEngineFactory() {
  return static_cast<bool>(installedFactory());
}

namespace {
MediaTypeCheck& installedTypeCheck() {
  static MediaTypeCheck check;
  return check;
}
}  // namespace

void installMediaTypeCheck(MediaTypeCheck check) {
  installedTypeCheck() = std::move(check);
}

bool canPlayMediaType(const std::string& mimeType) {
  const auto& check = installedTypeCheck();
  return check && check(mimeType);
}

}  // namespace zelvora::platform
