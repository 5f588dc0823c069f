#pragma once

#include <optional>

#include "zelvora/platform/media/PlayerViewController.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {

/// The full-screen player of house video ads: landscape only, no status bar, and playback
/// resumes when the application becomes active again.
class VideoPlayerViewController : public platform::PlayerViewController {
 public:
  ~VideoPlayerViewController() override;

  bool prefersStatusBarHidden() const override { return true; }
  platform::OrientationMask supportedInterfaceOrientations() const override {
    return platform::OrientationMask::landscape();
  }
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  /// The did-become-active action: plays on if there is a player.
  void resumePlayback();

 private:
  std::optional<platform::Application::ObserverToken> activeObserver_;
};

}  // namespace zelvora
