#pragma once

#include <memory>

#include "zelvora/Export.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/media/VideoView.h"
#include "zelvora/platform/ui/ViewController.h"

namespace zelvora::platform {

/// The platform's full-screen video screen: its view shows the player's picture (a VideoView
/// the size of the view) and, above it, the content overlay view, where an application lays
/// views of its own over the picture. Both follow the view's size.
class ZELVORA_API PlayerViewController : public ViewController {
 public:
  std::shared_ptr<Player> player() const { return player_; }
  void setPlayer(std::shared_ptr<Player> player);

  /// Whether the platform's own playback controls are shown: a "Done" button (identifier
  /// "player-done") that pauses and dismisses the player. Read when the view appears.
  bool showsPlaybackControls = true;
  bool allowsPictureInPicturePlayback = true;

  /// The view above the picture; loads the view when needed.
  std::shared_ptr<View> contentOverlayView();
  /// The view showing the picture; loads the view when needed.
  std::shared_ptr<VideoView> videoView();

  void loadView() override;
  void viewWillAppear(bool animated) override;

 private:
  void done();

  std::shared_ptr<Player> player_;
  std::shared_ptr<VideoView> videoView_;
  std::shared_ptr<View> contentOverlay_;
  std::shared_ptr<View> controls_;
};

}  // namespace zelvora::platform
