#include "adunit/components/VideoPlayer.h"

#include <cmath>
#include <initializer_list>

#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/InterfaceScale.h"
#include "adunit/rendering/TestAdLabel.h"
#include "adunit/rendering/ViewControllers/VideoPlayerViewController.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "tools/Assets.h"
#include "tools/ColorExtension.h"
#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/ui/Animation.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora {
using namespace platform;

namespace {

/// A JSON number (or boolean) as an integer; 0 for anything else.
std::int64_t integerValue(const JSON& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (!value.is_number()) return 0;
  const double number = value.get<double>();
  return std::isfinite(number) && std::fabs(number) < 9.2e18 ? static_cast<std::int64_t>(number)
                                                             : 0;
}

/// A JSON number, a boolean as 1 or 0, or a string holding a decimal number; 0 otherwise.
std::int64_t numericValue(const JSON& value) {
  if (!value.is_string()) return integerValue(value);
  const std::string& text = value.get_ref<const std::string&>();
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(number) || std::fabs(number) >= 9.2e18)
    return 0;
  return static_cast<std::int64_t>(number);
}

/// The overlay's margins from the edges, at a phone's size.
constexpr double kMargin = 4;
constexpr double kSoundMargin = 8;
constexpr Size kRedirectSize{140, 26};

/// What lies behind the overlay's texts and buttons, so that light text reads over any picture.
Color scrimColor() {
  return colorFromHex("000000", 0.6);
}

/// Light text with room around it for its scrim, which comes with the text: until then it
/// would be an empty box.
std::shared_ptr<Label> overlayLabel(const std::string& fontName, double size) {
  auto label = Label::make();
  label->font = Font{fontName, size, fontName.find("Bold") != std::string::npos};
  label->translatesAutoresizingMaskIntoConstraints = false;
  label->shadowOffset = {1, 1};
  label->textInsets = {2, 6, 2, 6};
  label->layer.cornerRadius = 4;
  return label;
}

void setText(Label& label, std::string text) {
  label.text = std::move(text);
  label.backgroundColor = scrimColor();
}

}  // namespace

std::shared_ptr<VideoPlayer> VideoPlayer::makeWithData(const JSON& initWithData) {
  std::shared_ptr<VideoPlayer> videoPlayer(new VideoPlayer());
  const std::string video = stringValue(member(initWithData, "video"));
  if (isValidUrl(video)) videoPlayer->url = video;
  videoPlayer->skipInTime = integerValue(member(initWithData, "skippableIn"));
  videoPlayer->duration = numericValue(member(initWithData, "duration"));
  return videoPlayer;
}

std::shared_ptr<VideoPlayer> VideoPlayer::makeWithUrl(const std::string& initWithUrl) {
  std::shared_ptr<VideoPlayer> videoPlayer(new VideoPlayer());
  videoPlayer->url = initWithUrl;
  return videoPlayer;
}

std::shared_ptr<VideoPlayerViewController> VideoPlayer::initPlayerController() {
  playerController = std::make_shared<VideoPlayerViewController>();
  playerController->showsPlaybackControls = false;
  playerController->allowsPictureInPicturePlayback = false;
  playerController->setPlayer(initPlayer());
  setupContentOverlay();
  return playerController;
}

std::shared_ptr<Player> VideoPlayer::initPlayer() {
  isSkippable = false;
  player = Player::make(url.value_or(""));
  player->setVolume(0);
  if (player->currentItem()) {
    timeObserverToken =
        player->addPeriodicTimeObserver(1.0, [weak = weak_from_this()](double seconds) {
          auto self = weak.lock();
          if (!self) return;
          const double position = std::isfinite(seconds) ? seconds : 0;
          if (auto events = self->delegate.lock()) events->onVideoProgress(position);
          self->updateContentOverlay(static_cast<std::int64_t>(std::trunc(position)));
        });
    observeRate();
    failureObserverToken_ =
        player->addFailureObserver([weak = weak_from_this()](const std::string& reason) {
          if (auto self = weak.lock()) self->playbackFailed(reason);
        });
  }
  return player;
}

std::shared_ptr<Player> VideoPlayer::initDefaultPlayer() {
  player = Player::make(url.value_or(""));
  observeRate();
  return player;
}

void VideoPlayer::observeRate() {
  rateObserverToken_ = player->addRateObserver([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->rateObserverToken_) return;
    // Only the first change matters: playback started.
    if (self->loadingIndicator) self->loadingIndicator->removeFromSuperview();
    mainQueue().postAfter(1.0, [label = std::weak_ptr<Label>(self->redirectLabel)] {
      if (auto shown = label.lock()) animate(3.0, [shown] { shown->alpha = 1; });
    });
    if (self->player) self->player->removeRateObserver(*self->rateObserverToken_);
    self->rateObserverToken_.reset();
  });
}

void VideoPlayer::prepareText() const {
  const auto window = Application::shared().keyWindow();
  if (!window) return;
  const double scale = interfaceScale(window->bounds().size());
  // The overlay's labels, and the buttons' default title font.
  static const Font buttonTitle = Button().titleFont;
  for (const Font& font : {Font{"HelveticaNeue", fontSize * scale, false},
                           Font{"HelveticaNeue-Bold", fontSize * scale, true},
                           Font{buttonTitle.name, buttonTitle.size * scale, buttonTitle.bold}})
    mainQueue().post([font] { measureText("Get Application 0123456789", font); });
}

void VideoPlayer::setupContentOverlay() {
  const auto overlay = playerController->contentOverlayView();

  skippableLabel = overlayLabel("HelveticaNeue", fontSize);
  skippableLabel->textColor = colorFromHex("EEEEEE", 1);
  skippableLabel->shadowColor = colorFromHex("222222", 1);
  skippableLabel->accessibilityIdentifier = "skip";

  redirectLabel = overlayLabel("HelveticaNeue-Bold", fontSize);
  redirectLabel->alpha = 0;
  setText(*redirectLabel, "Get Application");
  redirectLabel->accessibilityLabel = "Get Application";
  redirectLabel->textColor = Color::white();
  redirectLabel->textAlignment = TextAlignment::center;
  redirectLabel->shadowColor = Color::black();
  // Its fixed width leaves the bold title no room for insets.
  redirectLabel->textInsets = {};
  redirectLabel->layer.borderWidth = 2;
  redirectLabel->layer.borderColor = colorFromHex("222222", 1);
  redirectLabel->isUserInteractionEnabled = true;
  redirectLabel->addGestureRecognizer(
      std::make_shared<TapGestureRecognizer>(shared_from_this(), &VideoPlayer::onRedirect));

  // Light on its scrim like the others: dark grey text reads over no dark picture.
  remainingTimeLabel = overlayLabel("HelveticaNeue", fontSize);
  remainingTimeLabel->textColor = colorFromHex("EEEEEE", 1);
  remainingTimeLabel->shadowColor = colorFromHex("222222", 1);

  // Without the sound-off icon there is no button: the toggle stays inert.
  if (Asset::iconSoundOffPath) {
    if (auto icon = Image::contentsOfFile(*Asset::iconSoundOffPath)) {
      soundToggleButton = Button::make(ButtonType::custom);
      soundToggleButton->frame = {0, 0, static_cast<double>(icon->width()),
                                  static_cast<double>(icon->height())};
      soundToggleButton->setImage(icon, ControlState::normal);
      soundToggleButton->translatesAutoresizingMaskIntoConstraints = false;
      soundToggleButton->accessibilityIdentifier = "sound";
      soundToggleButton->accessibilityLabel = "Unmute";
      soundToggleButton->backgroundColor = scrimColor();
      soundToggleButton->layer.cornerRadius = 4;
      soundToggleButton->addTarget(shared_from_this(), &VideoPlayer::toggleSound,
                                   ControlEvent::touchUpInside);
    }
  }

  overlay->addSubview(skippableLabel);
  overlay->addSubview(redirectLabel);
  overlay->addSubview(remainingTimeLabel);
  if (soundToggleButton) overlay->addSubview(soundToggleButton);

  auto& scaled = playerController->overlayLayout;
  for (const auto& view : std::initializer_list<std::shared_ptr<View>>{
           skippableLabel, redirectLabel, remainingTimeLabel, soundToggleButton}) {
    if (view) scaled.add(view);
  }
  const auto pin = [&](const std::shared_ptr<View>& view, LayoutAttribute attribute,
                       double constant) {
    scaled.add(constrain(view, attribute, overlay, attribute, constant));
  };
  pin(skippableLabel, LayoutAttribute::leading, kMargin);
  pin(skippableLabel, LayoutAttribute::top, kMargin);
  scaled.add(constrainSize(redirectLabel, LayoutAttribute::width, kRedirectSize.width));
  scaled.add(constrainSize(redirectLabel, LayoutAttribute::height, kRedirectSize.height));
  pin(redirectLabel, LayoutAttribute::trailing, -kMargin);
  pin(redirectLabel, LayoutAttribute::top, kMargin);
  pin(remainingTimeLabel, LayoutAttribute::trailing, -kMargin);
  pin(remainingTimeLabel, LayoutAttribute::bottom, -kMargin);
  if (soundToggleButton) {
    pin(soundToggleButton, LayoutAttribute::leading, kSoundMargin);
    pin(soundToggleButton, LayoutAttribute::bottom, -kMargin);
  }
  addTestAdLabel(overlay, overlay, scaled, soundToggleButton);
  loadingIndicator = ActivityIndicatorView::make(ActivityIndicatorStyle::whiteLarge);
  // Escape skips, once skipping is possible, as a tap on "Skip" does.
  playerController->view()->accessibilityPerformEscape = [weak = weak_from_this()] {
    const auto self = weak.lock();
    return self && self->isSkippable && sendTap(self->skippableLabel);
  };
}

void VideoPlayer::showLoadingIndicator() {
  // Nothing is coming: a spinner would keep the user waiting for ever.
  if (!playerController || (player && player->status() == PlayerItemStatus::failed)) return;
  const auto overlay = playerController->contentOverlayView();
  if (loadingIndicator) {
    loadingIndicator->setCenter(overlay->bounds().center());
    loadingIndicator->startAnimating();
    overlay->addSubview(loadingIndicator);
    // Centred and sized anew at each layout: the window may turn or grow meanwhile.
    loadingIndicator->translatesAutoresizingMaskIntoConstraints = false;
    auto& scaled = playerController->overlayLayout;
    const Size side = loadingIndicator->frame.size();
    scaled.add(constrainSize(loadingIndicator, LayoutAttribute::width, side.width));
    scaled.add(constrainSize(loadingIndicator, LayoutAttribute::height, side.height));
    constrain(loadingIndicator, LayoutAttribute::centerX, overlay, LayoutAttribute::centerX, 0);
    constrain(loadingIndicator, LayoutAttribute::centerY, overlay, LayoutAttribute::centerY, 0);
  }
}

void VideoPlayer::updateContentOverlay(std::int64_t accordingToTime) {
  const std::int64_t t = accordingToTime;
  const auto updateSkipLabel = [&] {
    if (!offersSkip) return;
    if (t < skipInTime) {
      setText(*skippableLabel, "Skippable in " + std::to_string(skipInTime - t) + " seconds");
      skippableLabel->sizeToFit();
    } else {
      enableSkip();
    }
  };
  const auto updateRemainingTimeLabel = [&] {
    if (!remainingTimeLabel) return;
    setText(*remainingTimeLabel, "Video will end in " + std::to_string(duration - t) + " seconds");
  };
  if (skippableLabel) updateSkipLabel();
  updateRemainingTimeLabel();
  if (remainingTimeLabel) remainingTimeLabel->setNeedsLayout();
  // At or past the end: a report may skip a second under load.
  if (t >= duration) {
    stopPlaying();
    if (auto events = delegate.lock()) events->onVideoEnded();
  }
}

void VideoPlayer::enableSkip() {
  if (isSkippable) return;
  isSkippable = true;
  setText(*skippableLabel, "Skip");
  skippableLabel->accessibilityLabel = "Skip video";
  skippableLabel->sizeToFit();
  skippableLabel->addGestureRecognizer(
      std::make_shared<TapGestureRecognizer>(shared_from_this(), &VideoPlayer::onSkip));
  skippableLabel->isUserInteractionEnabled = true;
}

void VideoPlayer::stopPlaying() {
  if (playerController) playerController->contentOverlayView()->isHidden = true;
  if (player) {
    // The observers go first, so pausing cannot report back into this stop.
    if (timeObserverToken) player->removeTimeObserver(*timeObserverToken);
    if (failureObserverToken_) player->removeFailureObserver(*failureObserverToken_);
    player->pause();
    player->replaceCurrentItem(nullptr);
  }
  timeObserverToken.reset();
  failureObserverToken_.reset();
  player.reset();
  playerController.reset();
}

void VideoPlayer::onSkip() {
  stopPlaying();
  if (auto events = delegate.lock()) events->onVideoSkipped();
}

void VideoPlayer::onRedirect() {
  stopPlaying();
  if (auto events = delegate.lock()) events->onRedirectClicked();
}

void VideoPlayer::playbackFailed(const std::string& reason) {
  log(LogLevel::warning, "Video playback failed: " + reason);
  if (loadingIndicator) {
    loadingIndicator->stopAnimating();
    loadingIndicator->removeFromSuperview();
  }
  // Whatever the countdown said, the user must be able to leave the full-screen ad.
  if (skippableLabel) enableSkip();
  if (auto events = delegate.lock()) events->onVideoFailed(reason);
}

void VideoPlayer::toggleSound() {
  if (!Asset::iconSoundOffPath || !Asset::iconSoundOnPath || !soundToggleButton) return;
  const auto soundOff = Image::contentsOfFile(*Asset::iconSoundOffPath);
  const auto soundOn = Image::contentsOfFile(*Asset::iconSoundOnPath);
  if (!soundOff || !soundOn) return;
  if (isSoundOn) {
    soundToggleButton->setImage(soundOff, ControlState::normal);
    soundToggleButton->accessibilityLabel = "Unmute";
    if (player) player->setVolume(0);
    isSoundOn = false;
  } else {
    soundToggleButton->setImage(soundOn, ControlState::normal);
    soundToggleButton->accessibilityLabel = "Mute";
    if (player) player->setVolume(1);
    isSoundOn = true;
  }
  if (auto events = delegate.lock()) events->onVideoSoundChanged(isSoundOn);
}

}  // namespace zelvora
