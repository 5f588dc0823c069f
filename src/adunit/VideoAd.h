#pragma once

#include <memory>

#include "adunit/Ad.h"
#include "adunit/components/VideoPlayer.h"

namespace zelvora {

/// An ad that owns a video player.
class VideoAd : public Ad {
 public:
  using Ad::Ad;

  std::shared_ptr<VideoPlayer> videoPlayer;
};

}  // namespace zelvora
