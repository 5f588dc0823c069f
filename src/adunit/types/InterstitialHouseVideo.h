#pragma once

#include <memory>

#include "adunit/HouseVideoAd.h"
#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/ViewControllers/VideoPlayerViewController.h"

namespace zelvora {

/// The interstitial of a house video ad: the full-screen player, then the landing card (or
/// the end of the ad) when the video ends or is skipped.
class InterstitialHouseVideo : public HouseVideoAd,
                               public VideoPlayerEventsDelegate,
                               public BannerClickEventDelegate,
                               public CloseButtonEventDelegate {
 public:
  using HouseVideoAd::HouseVideoAd;

  void render(const std::shared_ptr<platform::ViewController>& presentingViewController) override;
  void onVideoEnded() override;
  void onVideoSkipped() override;
  void onRedirectClicked() override;
  void onBannerClicked() override;
  void onClose() override;
  /// From render until the showing ends: its player is queued for presentation or on screen
  /// (the platform holds it then) and the showing was not finished.
  bool isPresenting() const override { return !closed_ && !playerVC.expired(); }
  /// The landing card's interstitial went: the showing ends.
  void onViewControllerDisappeared() override { finishShowing(); }
  void showingLost() override;

  /// The presented player; the presentation keeps it alive.
  std::weak_ptr<VideoPlayerViewController> playerVC;

 protected:
  /// The player and its overlay were built for a showing, before they are presented.
  virtual void playerBuilt() {}
  /// Ends a showing that began with the impression: display-time beacon and `adClose`, once,
  /// whichever way its screens went.
  virtual void finishShowing();
  /// A dismissal's completion that ends the showing under way now, and no later one.
  std::function<void()> finishingThisShowing();
  /// A tap on "Get Application" or on the landing card.
  virtual void callClickBeacon();
  /// Whether a showing began with the impression and has not ended.
  bool isShowing() const { return showing_; }
  /// What the card after the video shows; none: the ad ends with the video.
  virtual std::shared_ptr<platform::View> landingCardView() const {
    return landingCard ? landingCard->imageView : nullptr;
  }

 private:
  void showLandingCard();
  /// The click-through's dismissal takes the player (and any card) away: the showing ends.
  void dismissPresented() override;

  bool showing_ = false;  // the impression was fired
  /// Counts the showings, to tell a late dismissal's completion from the current showing's.
  std::uint64_t showingNumber_ = 0;
  bool closed_ = true;
  static void placeLandingCard(const std::shared_ptr<platform::View>& card,
                               AdContainerView& container);
  std::shared_ptr<InterstitialHouseVideo> self();
};

}  // namespace zelvora
