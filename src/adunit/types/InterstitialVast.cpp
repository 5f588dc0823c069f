#include "adunit/types/InterstitialVast.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "ControllerAccess.h"
#include "EventReasons.h"
#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/ScaledLayout.h"
#include "adunit/rendering/ViewControllers/VideoPlayerViewController.h"
#include "net/JsonReading.h"
#include "tools/FileLoader.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/media/PlayerEngine.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/ImageView.h"

namespace zelvora {
using namespace platform;

namespace {

vast::MacroValues macroValues() {
  vast::MacroValues values;
  values.timestampSeconds = mainQueue().wallTime();
  values.cacheBusting = vast::newCacheBuster();
  values.limitAdTracking =
      ZelController::sharedInstance().getConsentState() == ConsentState::consentNonPersonalizedAds;
  return values;
}

ZelError hostReason(vast::VastError code) {
  return static_cast<ZelError>(1000 + static_cast<int>(code));
}

bool isImage(const vast::Resource& resource) {
  return !resource.staticUrl.empty() &&
         (resource.creativeType.empty() || resource.creativeType.rfind("image/", 0) == 0);
}

/// The end card: the first image companion, else the first of markup.
std::optional<vast::Companion> endCardOf(const std::vector<vast::Companion>& companions) {
  for (const auto& companion : companions)
    if (isImage(companion.resource)) return companion;
  for (const auto& companion : companions)
    if (!companion.resource.html.empty()) return companion;
  return std::nullopt;
}

/// Pins `view` to the overlay where a VAST icon's position says: "left"/"top", "right"/"bottom"
/// or pixels from the left/top. Every corner of the overlay holds one of the player's
/// controls, so the icon's band lies between the row `top` ends and the row `bottom` starts.
/// Distances are a phone's, kept in `scaled` to grow with the window as the controls do.
void placeIcon(const std::shared_ptr<View>& view, const std::shared_ptr<View>& overlay,
               const std::shared_ptr<View>& top, const std::shared_ptr<View>& bottom,
               const std::string& x, const std::string& y, ScaledLayout& scaled) {
  constexpr double gap = 8;
  if (x == "right") {
    constrain(view, LayoutAttribute::trailing, overlay, LayoutAttribute::trailing, 0);
  } else {
    scaled.add(constrain(view, LayoutAttribute::leading, overlay, LayoutAttribute::leading,
                         x == "left" ? 0 : std::atof(x.c_str())));
  }
  if (y == "bottom") {
    if (bottom) {
      scaled.add(constrain(view, LayoutAttribute::bottom, bottom, LayoutAttribute::top, -gap));
    } else {
      constrain(view, LayoutAttribute::bottom, overlay, LayoutAttribute::bottom, 0);
    }
  } else {
    const double offset = y == "top" ? 0 : std::atof(y.c_str());
    scaled.add(
        top ? constrain(view, LayoutAttribute::top, top, LayoutAttribute::bottom, gap + offset)
            : constrain(view, LayoutAttribute::top, overlay, LayoutAttribute::top, offset));
  }
}

}  // namespace

InterstitialVast::InterstitialVast(const JSON& initWithData)
    : InterstitialHouseVideo(initWithData) {
  // The card comes from the VAST answer, never from the ad's own data.
  landingCard.reset();
}

void InterstitialVast::preload() {
  const auto& settings = ZelController::sharedInstance().vastSettings();
  if (!settings.enabled || chain_ || ad_) return;
  vast::ChainOptions options;
  options.maxWrapperDepth = settings.maxWrapperDepth;
  options.requestTimeoutSeconds = settings.requestTimeoutSeconds;
  const auto screen = screen::bounds();
  options.media.screenWidth = static_cast<int>(screen.width);
  options.media.screenHeight = static_cast<int>(screen.height);
  options.media.maxBitrateKbps = settings.maxBitrateKbps;
  options.media.canPlay = canPlayMediaType;
  options.macros = macroValues;
  auto done = [weak = weak_from_this()](std::optional<vast::ResolvedAd> ad,
                                        std::optional<vast::ChainFailure> failure) {
    auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
    if (!self) return;
    self->chain_.reset();
    if (ad) {
      self->resolved(std::move(*ad));
    } else {
      self->failed(failure->code, failure->message, failure->errorUrls);
    }
  };
  if (const auto xml = asString(member(data(), "vastXml"))) {
    chain_ = vast::Chain::fromDocument(*xml, std::move(options), std::move(done));
  } else if (const auto tag = asString(member(data(), "vastTagUrl"))) {
    chain_ = vast::Chain::fromTag(*tag, std::move(options), std::move(done));
  } else {
    // Reported as every other failure is, after the placements' onInit.
    mainQueue().post([weak = weak_from_this()] {
      if (auto self = std::static_pointer_cast<InterstitialVast>(weak.lock()))
        self->failed(vast::VastError::undefined,
                     "the ad's data has neither \"vastTagUrl\" nor \"vastXml\"", {});
    });
  }
}

void InterstitialVast::failed(vast::VastError code, const std::string& message,
                              const std::vector<std::string>& errorUrls) {
  auto values = macroValues();
  if (ad_) values.assetUri = ad_->media.url;
  vast::reportError(errorUrls, code, values);
  const std::string line = "VAST error " + std::to_string(static_cast<int>(code)) + ": " + message;
  log(LogLevel::warning, "VAST ad " + id() + " cannot be played: " + line);
  if (placementId) reportNoAds(*placementId, hostReason(code), line);
  loadFailed(hostReason(code), line);
}

void InterstitialVast::resolved(vast::ResolvedAd ad) {
  const double duration = ad.linear.duration.value_or(0);
  videoPlayer->duration = static_cast<std::int64_t>(duration);
  const auto skipAt = ad.linear.skipOffset.empty()
                          ? std::nullopt
                          : vast::parseOffset(ad.linear.skipOffset, duration);
  videoPlayer->offersSkip = skipAt.has_value();
  videoPlayer->skipInTime = skipAt ? static_cast<std::int64_t>(std::ceil(*skipAt)) : 0;
  companion_ = endCardOf(ad.companions);
  const std::string media = ad.media.url;
  ad_ = std::move(ad);
  // The media file, the sound toggle's icons, then the card and the icons.
  pendingFiles_ = 2;
  FileLoader::loadFile(
      media,
      [weak = weak_from_this()](const std::string& path) {
        auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
        if (!self) return;
        self->videoPlayer->url = "file://" + path;
        self->fileSettled();
      },
      AssetKind::video,
      [weak = weak_from_this()](const HttpError& error) {
        auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
        if (!self || !self->ad_) return;
        self->mediaFailed_ = true;
        const auto code = error.reason == ZelError::timedOut ? vast::VastError::mediaTimeout
                                                             : vast::VastError::fileNotFound;
        self->failed(code,
                     "the media file " + self->ad_->media.url +
                         " did not arrive: " + error.localizedDescription,
                     self->ad_->errorUrls);
      });
  downloadAssets([weak = weak_from_this()] {
    if (auto self = std::static_pointer_cast<InterstitialVast>(weak.lock())) self->fileSettled();
  });
  loadCompanionAndIcons();
}

void InterstitialVast::fileSettled() {
  // Ready once everything the viewer will see is here: on a fast clock the video can end
  // before a card that is still on its way.
  if (--pendingFiles_ > 0 || mediaFailed_) return;
  videoPlayer->prepareText();
  loadSucceeded();
}

void InterstitialVast::loadCompanionAndIcons() {
  const auto settled = [weak = weak_from_this()](auto then) {
    return [weak, then](const auto& outcome) {
      auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
      if (!self) return;
      then(*self, outcome);
      self->fileSettled();
    };
  };
  htmlCard_.reset();
  if (companion_ && !isImage(companion_->resource)) {
    // Markup is drawn as it is; its page need not finish for the ad to be ready.
    htmlCard_ =
        HtmlCard::make(companion_->resource.html, companion_->width > 0 ? companion_->width : 300,
                       companion_->height > 0 ? companion_->height : 250,
                       [weak = weak_from_this()](const std::string& url) {
                         auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
                         return self && self->companionClicked(url);
                       });
  } else if (companion_) {
    ++pendingFiles_;
    landingCard = Banner::make(companion_->resource.staticUrl);
    // Without its image the card is left out: the ad ends with the video.
    const auto dropCard = [](InterstitialVast& self, const auto&) {
      self.landingCard.reset();
      self.companion_.reset();
    };
    FileLoader::loadFile(
        landingCard->url,
        [weak = weak_from_this(), settled, dropCard](const std::string& path) {
          auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
          if (!self || !self->landingCard) return;
          self->landingCard->preloadCompletion(
              path, settled([dropCard](InterstitialVast& ad, bool decoded) {
                if (!decoded) dropCard(ad, decoded);
              }));
        },
        AssetKind::image, settled(dropCard));
  }
  icons_.clear();
  for (const auto& icon : ad_->linear.icons) {
    if (icon.resource.staticUrl.empty()) continue;  // markup icons would need a page each
    icons_.push_back({icon, std::nullopt, nullptr, nullptr, false});
    ++pendingFiles_;
    FileLoader::loadFile(
        icon.resource.staticUrl,
        settled([index = icons_.size() - 1](InterstitialVast& self, const std::string& path) {
          if (index < self.icons_.size()) self.icons_[index].path = path;
        }),
        AssetKind::image, settled([](InterstitialVast&, const HttpError&) {}));
  }
}

void InterstitialVast::playerBuilt() {
  tracking_ = std::make_unique<vast::Tracking>(*ad_, macroValues);
  pausedInBackground_ = false;
  companionClickTaken_ = false;
  // Without a click-through address, "Get Application" would lead nowhere.
  if (ad_->clickThrough.empty() && videoPlayer->redirectLabel)
    videoPlayer->redirectLabel->isHidden = true;
  addIcons();
  observeTheApplication(true);
}

void InterstitialVast::addIcons() {
  const auto overlay = videoPlayer->playerController->contentOverlayView();
  for (std::size_t index = 0; index < icons_.size(); ++index) {
    auto& shown = icons_[index];
    shown.view.reset();
    shown.seen = false;
    const auto image = shown.path ? Image::contentsOfFile(*shown.path) : nullptr;
    if (!image) continue;  // not here in time: the video plays without it
    auto view = ImageView::make();
    view->image = image;
    view->contentMode = ContentMode::scaleAspectFit;
    view->translatesAutoresizingMaskIntoConstraints = false;
    view->accessibilityIdentifier = "vast-icon";
    view->isHidden = true;
    const double width = shown.icon.width > 0 ? shown.icon.width : image->width();
    const double height = shown.icon.height > 0 ? shown.icon.height : image->height();
    overlay->addSubview(view);
    auto& scaled = videoPlayer->playerController->overlayLayout;
    scaled.add(constrainSize(view, LayoutAttribute::width, width));
    scaled.add(constrainSize(view, LayoutAttribute::height, height));
    placeIcon(view, overlay, videoPlayer->redirectLabel, videoPlayer->soundToggleButton,
              shown.icon.xPosition, shown.icon.yPosition, scaled);
    shown.tap = std::make_shared<IconTap>(
        IconTap{std::static_pointer_cast<InterstitialVast>(shared_from_this()), index});
    view->isUserInteractionEnabled = true;
    view->addGestureRecognizer(std::make_shared<TapGestureRecognizer>(shown.tap, &IconTap::tapped));
    shown.view = view;
  }
}

void InterstitialVast::showIconsAt(double seconds) {
  const double duration = ad_->linear.duration.value_or(0);
  for (auto& shown : icons_) {
    if (!shown.view) continue;
    const double from = vast::parseOffset(shown.icon.offset, duration).value_or(0);
    const auto length = vast::parseTimecode(shown.icon.duration);
    const bool visible = seconds >= from && (!length || seconds < from + *length);
    shown.view->isHidden = !visible;
    if (visible && !shown.seen) {
      shown.seen = true;
      auto values = macroValues();
      values.playheadSeconds = seconds;
      vast::send(shown.icon.viewTracking, values, "iconView");
    }
  }
}

void InterstitialVast::IconTap::tapped() {
  if (auto self = ad.lock()) self->openIcon(index);
}

void InterstitialVast::openIcon(std::size_t index) {
  if (index >= icons_.size()) return;
  const auto& icon = icons_[index].icon;
  vast::send(icon.clickTracking, macroValues(), "iconClick");
  // The icon's page (a privacy notice) opens beside the ad, which plays on.
  if (!icon.clickThrough.empty()) redirect(icon.clickThrough);
}

void InterstitialVast::observeTheApplication(bool observe) {
  auto& application = Application::shared();
  for (const auto token : applicationObservers_) application.removeObserver(token);
  applicationObservers_.clear();
  if (!observe) return;
  const auto weak = weak_from_this();
  applicationObservers_ = {
      application.addWillResignActiveObserver([weak] {
        auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
        if (!self || !self->tracking_ || !self->videoPlayer->player) return;
        if (self->videoPlayer->player->rate() == 0 || self->tracking_->ended()) return;
        self->videoPlayer->player->pause();
        self->pausedInBackground_ = true;
        self->tracking_->event("pause");
      }),
      // The player's view controller resumes playback itself.
      application.addDidBecomeActiveObserver([weak] {
        auto self = std::static_pointer_cast<InterstitialVast>(weak.lock());
        if (!self || !self->tracking_ || !std::exchange(self->pausedInBackground_, false)) return;
        self->tracking_->event("resume");
      })};
}

void InterstitialVast::onVideoProgress(double seconds) {
  if (!tracking_) return;
  tracking_->started();
  tracking_->progressed(seconds);
  showIconsAt(seconds);
}

void InterstitialVast::onVideoSoundChanged(bool soundOn) {
  if (tracking_) tracking_->event(soundOn ? "unmute" : "mute");
}

void InterstitialVast::onVideoFailed(const std::string& reason) {
  if (!tracking_) return;
  log(LogLevel::warning, "VAST ad " + id() + " cannot play its media file: " + reason);
  tracking_->failed(vast::VastError::cannotPlay);
}

void InterstitialVast::onVideoEnded() {
  if (tracking_) tracking_->event("complete");
  InterstitialHouseVideo::onVideoEnded();
  endCardShown();
}

void InterstitialVast::onVideoSkipped() {
  if (tracking_) tracking_->event("skip");
  // The card (or the end) follows as after the last frame.
  InterstitialHouseVideo::onVideoSkipped();
  endCardShown();
}

void InterstitialVast::endCardShown() {
  if (!landingCardView() || !companion_ || !isShowing()) return;
  std::vector<std::string> urls;
  for (const auto& tracker : companion_->trackingEvents)
    if (tracker.event == "creativeView") urls.push_back(tracker.url);
  vast::send(urls, macroValues(), "companionView");
}

void InterstitialVast::callClickBeacon() {
  if (!tracking_) return;
  tracking_->clicked();
  if (!ad_->clickThrough.empty()) doRedirect(ad_->clickThrough);
}

void InterstitialVast::onBannerClicked() {
  if (companion_) companionClicked(companion_->clickThrough);
}

bool InterstitialVast::companionClicked(const std::string& url) {
  // Refused: a page that navigates while nobody sees it, or again after the click of this
  // showing (whose click-through ends it).
  if (!companion_ || !isShowing() || std::exchange(companionClickTaken_, true)) return false;
  vast::send(companion_->clickTracking, macroValues(), "companionClick");
  if (!url.empty()) doRedirect(url);
  return true;
}

std::shared_ptr<View> InterstitialVast::landingCardView() const {
  return htmlCard_ ? htmlCard_->webView : InterstitialHouseVideo::landingCardView();
}

void InterstitialVast::finishShowing() {
  if (!isShowing()) return;
  // Left before its end without a skip: the viewer closed the linear ad.
  if (tracking_ && !tracking_->ended()) tracking_->event("closeLinear");
  observeTheApplication(false);
  InterstitialHouseVideo::finishShowing();
}

}  // namespace zelvora
