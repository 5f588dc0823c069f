#pragma once

#include <memory>
#include <optional>

#include "adunit/Ad.h"
#include "zelvora/platform/ui/ViewController.h"

namespace zelvora {

/// The modal view controller of an interstitial: reports its appearance, disappearance and
/// size changes to the ad, and allows the orientations the ad asks for.
class InterstitialViewController : public platform::ViewController {
 public:
  /// Presents this view controller over `presentingVC`, if that still exists.
  void presentSelf();

  bool prefersStatusBarHidden() const override { return true; }
  platform::OrientationMask supportedInterfaceOrientations() const override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewWillTransition(platform::Size size) override;
  void viewWillLayoutSubviews() override;
  void viewDidLayoutSubviews() override;

  std::weak_ptr<platform::ViewController> presentingVC;
  std::weak_ptr<ViewControllerEvents> delegate;
  std::optional<platform::InterfaceOrientation> requestedOrientation;
  /// Set at the first size transition, never reset.
  bool orientationChanged = false;
};

}  // namespace zelvora
