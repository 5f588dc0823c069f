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

  /// The presented player; the presentation keeps it alive.
  std::weak_ptr<VideoPlayerViewController> playerVC;

 private:
  void showLandingCard();
  void setLandingViewConstraints(const std::shared_ptr<platform::View>& contentView);
  void callClickBeacon();
  std::shared_ptr<InterstitialHouseVideo> self();
};

}  // namespace zelvora
