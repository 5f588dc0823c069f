#pragma once

#include "adunit/BannerAd.h"
#include "adunit/rendering/AdContainerView.h"

namespace zelvora {

/// The interstitial of a banner ad: the image in a white frame inside the dimmed container,
/// portrait only. Shown before its image arrived, it presents itself once the image is there;
/// shown after its decoded picture was let go (DecodedImages.h), once it is decoded again.
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
  bool isPresenting() const override { return decodingForShow_ || (!closed_ && !shown_.expired()); }
  void onViewControllerDisappeared() override;
  void showingLost() override;

  bool shouldShowAdAfterPreload = false;

 private:
  /// The interstitial this ad presented last; while it is on screen, render does nothing.
  std::weak_ptr<platform::ViewController> shown_;
  bool closed_ = true;
  /// A showing waits for the picture to be decoded again.
  bool decodingForShow_ = false;

  /// Decodes the picture again, then presents over `presenter`.
  void decodeThenRender(const std::shared_ptr<platform::ViewController>& presenter);
  void setContentConstraints(const std::shared_ptr<platform::View>& contentView);
  void callClickBeacon();
  std::shared_ptr<InterstitialHouseBanner> self();
};

}  // namespace zelvora
