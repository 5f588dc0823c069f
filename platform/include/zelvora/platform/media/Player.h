#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/media/PlayerEngine.h"

namespace zelvora::platform {

/// One piece of media a player can play, named by its address.
class ZELVORA_API PlayerItem {
 public:
  explicit PlayerItem(std::string url) : url_(std::move(url)) {}
  static std::shared_ptr<PlayerItem> make(std::string url) {
    return std::make_shared<PlayerItem>(std::move(url));
  }

  const std::string& url() const { return url_; }

 private:
  std::string url_;
};

/// A video player, used on the main thread. The backend's engine (see PlayerEngine.h) plays
/// the media; the player keeps the rate, the volume and the observers:
///
/// - `play()` sets the rate to 1 and tells the rate observers at once; the periodic time
///   observers then get the current time in a main-queue task of its own, and again each time
///   the playback position reaches a multiple of their interval (0, 1, 2, ... for one second).
/// - At the end of the item every time observer gets the final time, then the rate goes to 0
///   and the rate observers are told.
/// - `pause()` sets the rate to 0 and tells the rate observers; time reports stop.
/// - `replaceCurrentItem(nullptr)` stops playback for good: no time report follows.
/// - An item that fails, when it is opened (missing, not media) or later (a decoding error part
///   way through), stops: the rate goes to 0 if it was playing, then the failure observers get
///   the reason, once per item and in a main-queue task of their own (so observers added right
///   after the item was set hear of a failure found on opening). `play()` then changes nothing.
///
/// Observers may add or remove observers, pause, replace the item or release the player from
/// inside their callbacks.
class ZELVORA_API Player : public std::enable_shared_from_this<Player> {
  struct Passkey {};

 public:
  using ObserverToken = std::uint64_t;
  using TimeCallback = std::function<void(double currentTimeSeconds)>;

  /// A player for the media at `url`: a file path, a file:// URL or a web address.
  static std::shared_ptr<Player> make(const std::string& url);
  /// A player for `item`, or with no item at all.
  static std::shared_ptr<Player> make(std::shared_ptr<PlayerItem> item);

  explicit Player(Passkey) {}
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  /// The item being played; none after `replaceCurrentItem(nullptr)`.
  std::shared_ptr<PlayerItem> currentItem() const { return item_; }
  /// Stops playback and puts `item` (or nothing) in place, at its start and paused.
  void replaceCurrentItem(std::shared_ptr<PlayerItem> item);

  void play();
  void pause();
  /// 1 while playing, 0 otherwise.
  double rate() const { return rate_; }

  /// 0 (silent) to 1 (full); values outside are clamped.
  float volume() const { return volume_; }
  void setVolume(float volume);

  /// The current item's position in seconds (0 without an item).
  double currentTime() const;
  /// The current item's length in seconds; none without an item or while unknown, and for an
  /// item that cannot play.
  std::optional<double> duration() const;
  /// The current item's status (failed without an item).
  PlayerItemStatus status() const;
  /// Why the current item failed; empty while it has not, and without an item.
  std::string error() const;
  /// The backend's engine playing the current item (none without an item): the backend reaches
  /// the picture it shows through it.
  std::shared_ptr<PlayerEngine> engine() const { return engine_; }

  /// Calls `callback` on the main queue with the playback position, while playing: when
  /// playback starts, every `intervalSeconds` of playback, and at the end. Returns a token for
  /// `removeTimeObserver`; 0 (nothing registered) when the interval is not a positive number.
  ObserverToken addPeriodicTimeObserver(double intervalSeconds, TimeCallback callback);
  /// Ignores unknown tokens.
  void removeTimeObserver(ObserverToken token);

  /// Calls `observer` on the main thread each time the rate changes (playback starts, pauses,
  /// reaches the end or is stopped). Returns a token for `removeRateObserver`.
  ObserverToken addRateObserver(std::function<void()> observer);
  /// Ignores unknown tokens.
  void removeRateObserver(ObserverToken token);

  /// Calls `observer` on the main thread with the reason when the current item fails (see
  /// above). Returns a token for `removeFailureObserver`.
  ObserverToken addFailureObserver(std::function<void(const std::string& reason)> observer);
  /// Ignores unknown tokens.
  void removeFailureObserver(ObserverToken token);

 private:
  struct TimeObserver {
    double interval = 1;
    TimeCallback callback;
    /// The multiple of the interval the next report is for.
    std::int64_t nextIndex = 0;
    std::optional<TimerId> timer;
    std::optional<double> lastReported;
  };

  void setRate(double rate);
  /// Sends `time` to every time observer in turn, as long as the playback `session` lasts;
  /// with `skipRepeated`, not to those whose last report was that time.
  void reportToAll(double time, std::uint64_t session, bool skipRepeated);
  /// Schedules the observer's next report from `position`, the current playback position.
  void scheduleNext(ObserverToken token, TimeObserver& observer, double position);
  /// Schedules the observer's report in `delay` seconds.
  void arm(ObserverToken token, TimeObserver& observer, double delay);
  void reportDue(ObserverToken token, std::uint64_t session);
  void didReachEnd(std::uint64_t session);
  /// The item opened as `item` failed: stops playback and tells the failure observers, once.
  void didFail(std::uint64_t item);
  /// Drops every pending time report.
  void cancelReports();

  std::shared_ptr<PlayerItem> item_;
  std::shared_ptr<PlayerEngine> engine_;
  double rate_ = 0;
  float volume_ = 1;
  /// Changes each time playback starts or stops, so that reports of an earlier run are dropped.
  std::uint64_t session_ = 0;
  std::map<ObserverToken, TimeObserver> timeObservers_;
  std::map<ObserverToken, std::function<void()>> rateObservers_;
  std::map<ObserverToken, std::function<void(const std::string&)>> failureObservers_;
  /// Changes with each item put in place, so that failures of an earlier item are dropped.
  std::uint64_t itemGeneration_ = 0;
  bool failureReported_ = false;
  ObserverToken nextToken_ = 1;
};

}  // namespace zelvora::platform
