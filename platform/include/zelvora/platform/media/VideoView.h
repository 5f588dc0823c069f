#pragma once

#include <memory>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

/// Shows the picture of `player`'s current item: the backend draws the video at the view's
/// frame. The view itself is the model's placeholder for it.
class ZELVORA_API VideoView : public View {
 public:
  using View::View;
  static std::shared_ptr<VideoView> make(Rect frame = {}) {
    return std::make_shared<VideoView>(frame);
  }

  std::shared_ptr<Player> player;

  std::string typeName() const override { return "VideoView"; }
  /// The item's address and the playback position, as in "file:///v.webm 3.0s"; empty
  /// without a player or an item.
  std::string describeContent() const override;
};

}  // namespace zelvora::platform
