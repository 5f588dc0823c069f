#include <algorithm>
#include <memory>

#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/media/Player.h"

namespace zelvora::platform::headless {
namespace {

/// The engine of the headless backend: the position is computed from the main queue's clock.
class HeadlessPlayerEngine final : public PlayerEngine,
                                   public std::enable_shared_from_this<HeadlessPlayerEngine> {
 public:
  HeadlessPlayerEngine(std::optional<MediaInfo> media, std::string whyNot)
      : media_(media), error_(media ? std::string() : std::move(whyNot)) {}

  PlayerItemStatus status() const override {
    return media_ && error_.empty() ? PlayerItemStatus::readyToPlay : PlayerItemStatus::failed;
  }
  std::string error() const override { return error_; }
  void setFailureHandler(std::function<void()> failed) override {
    failureHandler_ = std::move(failed);
  }
  std::optional<double> duration() const override {
    if (status() == PlayerItemStatus::failed) return std::nullopt;
    return media_->duration;
  }
  double currentTime() const override {
    if (!startedAt_) return position_;
    return std::min(media_->duration, position_ + (mainQueue().now() - *startedAt_));
  }

  bool play(std::function<void()> reachedEnd) override {
    if (status() == PlayerItemStatus::failed || position_ >= media_->duration) return false;
    if (startedAt_) return true;
    startedAt_ = mainQueue().now();
    // The timer holds the engine weakly: a released engine never reports its end.
    endTimer_ =
        mainQueue().postAfter(media_->duration - position_,
                              [weak = weak_from_this(), reachedEnd = std::move(reachedEnd)] {
                                auto self = weak.lock();
                                if (!self) return;
                                self->endTimer_.reset();
                                self->startedAt_.reset();
                                self->position_ = self->media_->duration;
                                reachedEnd();
                              });
    return true;
  }

  void pause() override {
    if (!startedAt_) return;
    position_ = currentTime();
    startedAt_.reset();
    if (endTimer_ && hasMainQueue()) mainQueue().cancel(*endTimer_);
    endTimer_.reset();
  }

  // Nothing is heard: the headless backend has no sound output.
  void setVolume(float) override {}

  /// Stops where it is, for good, as a decoding error would.
  bool fail(const std::string& reason) {
    if (status() == PlayerItemStatus::failed) return false;
    pause();
    error_ = reason.empty() ? "playback failed" : reason;
    mainQueue().post([weak = weak_from_this()] {
      auto self = weak.lock();
      if (!self || !self->failureHandler_) return;
      auto failed = self->failureHandler_;
      failed();
    });
    return true;
  }

 private:
  const std::optional<MediaInfo> media_;
  std::string error_;
  std::function<void()> failureHandler_;
  /// The position while paused, or where playback last started.
  double position_ = 0;
  /// The clock's time when playback last started; none while paused.
  std::optional<double> startedAt_;
  std::optional<TimerId> endTimer_;
};

}  // namespace

std::shared_ptr<PlayerEngine> playerEngineFor(std::optional<MediaInfo> media, std::string whyNot) {
  return std::make_shared<HeadlessPlayerEngine>(media, std::move(whyNot));
}

bool failPlayback(const Player& player, const std::string& reason) {
  auto engine = std::dynamic_pointer_cast<HeadlessPlayerEngine>(player.engine());
  return engine && engine->fail(reason);
}

}  // namespace zelvora::platform::headless
