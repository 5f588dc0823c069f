#pragma once

#include "adunit/BannerAd.h"
#include "adunit/rendering/AdContainerView.h"

namespace zelvora {

/// The interstitial of a banner ad: the image in a white frame inside the dimmed container,
/// portrait only. Shown before its image arrived, it presents itself once the image is there.
class InterstitialHouseBanner : public BannerAd,
                                public BannerPreloadDelegate,
                                public BannerClickEventDelegate,
                                public CloseButtonEventDelegate {
 public:
  using BannerAd::BannerAd;

  void render(const std::shared_ptr<platform::ViewController>& presentingViewController) override;
  void onPreloadFinished() override;
  void loadFailed(ZelError reason, const std::string& message) override;
  void onBannerClicked() override;
  void onClose() override;
  /// From render until the close: its interstitial is queued for presentation or on screen
  /// (the platform holds it then) and has not been closed.
  bool isPresenting() const override { return !closed_ && !shown_.expired(); }
  void onViewControllerDisappeared() override;
  void showingLost() override;

  bool shouldShowAdAfterPreload = false;

 private:
  /// The interstitial this ad presented last; while it is on screen, render does nothing.
  std::weak_ptr<platform::ViewController> shown_;
  bool closed_ = true;

  void setContentConstraints(const std::shared_ptr<platform::View>& contentView);
  void callClickBeacon();
  std::shared_ptr<InterstitialHouseBanner> self();
};

}  // namespace zelvora
