#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Json.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora {

class VideoPlayerViewController;

/// Told of the user's skip, of a tap on "Get Application", and of the end of the video.
class VideoPlayerEventsDelegate {
 public:
  virtual ~VideoPlayerEventsDelegate() = default;
  virtual void onVideoSkipped() = 0;
  virtual void onRedirectClicked() = 0;
  virtual void onVideoEnded() = 0;
  /// Each time report while the video plays, with the position in seconds.
  virtual void onVideoProgress(double seconds) { (void)seconds; }
  /// The user turned the sound on or off.
  virtual void onVideoSoundChanged(bool soundOn) { (void)soundOn; }
  /// The video cannot play on, from the start or part way through.
  virtual void onVideoFailed(const std::string& reason) { (void)reason; }
};

/// Plays one video full screen, muted at first, under an overlay: a countdown that turns into
/// "Skip", the remaining time, a "Get Application" label fading in after playback starts, a
/// sound toggle (only when the sound-off icon is there when the overlay is built) and a loading
/// indicator. The video ends at the first time report at or past the announced duration. A
/// video that cannot play, from the start or part way through, leaves the user a way out: the
/// indicator goes and "Skip" works at once.
class VideoPlayer : public std::enable_shared_from_this<VideoPlayer> {
 public:
  /// For a house video ad: "video", "skippableIn" and "duration" of the ad's data. A "video"
  /// that does not parse as a URL leaves `url` empty.
  static std::shared_ptr<VideoPlayer> makeWithData(const JSON& initWithData);
  /// A plain player for `initWithUrl`, without overlay.
  static std::shared_ptr<VideoPlayer> makeWithUrl(const std::string& initWithUrl);

  /// The player view controller with a new player and the overlay.
  std::shared_ptr<VideoPlayerViewController> initPlayerController();
  /// A plain player for `url`: no time tracking, volume untouched.
  std::shared_ptr<platform::Player> initDefaultPlayer();
  /// Centres the loading indicator on the overlay and starts it.
  void showLoadingIndicator();

  std::weak_ptr<VideoPlayerEventsDelegate> delegate;
  std::shared_ptr<VideoPlayerViewController> playerController;
  std::shared_ptr<platform::Player> player;
  std::optional<std::string> url;
  std::int64_t duration = 0;
  std::int64_t skipInTime = 0;
  /// False: no skip control and no countdown to it (the video plays to its end).
  bool offersSkip = true;
  bool isSkippable = false;
  bool isSoundOn = false;
  std::shared_ptr<platform::Label> skippableLabel;
  std::shared_ptr<platform::Label> redirectLabel;
  std::shared_ptr<platform::Label> remainingTimeLabel;
  std::shared_ptr<platform::Button> soundToggleButton;
  std::shared_ptr<platform::ActivityIndicatorView> loadingIndicator;
  double fontSize = 16;
  std::optional<platform::Player::ObserverToken> timeObserverToken;

  /// Loads the overlay's fonts at the sizes the key window gives them, a font a turn: the
  /// first measure of a font at a size costs milliseconds (fontconfig, FreeType, cairo), which
  /// would otherwise fall inside the showing.
  void prepareText() const;

 private:
  VideoPlayer() = default;

  std::shared_ptr<platform::Player> initPlayer();
  void observeRate();
  void setupContentOverlay();
  void updateContentOverlay(std::int64_t accordingToTime);
  void enableSkip();
  void stopPlaying();
  void toggleSound();
  void onSkip();
  void onRedirect();
  void playbackFailed(const std::string& reason);

  std::optional<platform::Player::ObserverToken> rateObserverToken_;
  std::optional<platform::Player::ObserverToken> failureObserverToken_;
};

}  // namespace zelvora
