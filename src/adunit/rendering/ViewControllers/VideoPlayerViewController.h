#pragma once

#include <optional>

#include "adunit/rendering/ScaledLayout.h"
#include "zelvora/platform/media/PlayerViewController.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {

/// The full-screen player of house video ads: landscape only, no status bar, and playback
/// resumes when the application becomes active again. Its overlay grows with the window.
class VideoPlayerViewController : public platform::PlayerViewController {
 public:
  ~VideoPlayerViewController() override;

  bool prefersStatusBarHidden() const override { return true; }
  platform::OrientationMask supportedInterfaceOrientations() const override {
    return platform::OrientationMask::landscape();
  }
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  /// Brings the overlay's sizes up to the window's interface scale.
  void viewWillLayoutSubviews() override;

  /// The did-become-active action: plays on if there is a player.
  void resumePlayback();

  /// The overlay's sizes at a phone's size, which every layout scales to the window.
  ScaledLayout overlayLayout;

 private:
  std::optional<platform::Application::ObserverToken> activeObserver_;
};

}  // namespace zelvora
