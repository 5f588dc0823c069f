#pragma once

#include <functional>
#include <memory>

#include "adunit/VideoAd.h"
#include "adunit/components/Banner.h"

namespace zelvora {

/// A video served by the ad server, with an optional landing card. Preloading downloads the
/// video (which alone makes the ad ready), then the sound icons and the landing card's image.
class HouseVideoAd : public VideoAd {
 public:
  explicit HouseVideoAd(const JSON& initWithData);

  void preload() override;
  /// Takes the sound icons from the caches folder, or fetches them from the asset base URL;
  /// then `settled`, on the main queue, once both are here or failed.
  void downloadAssets(std::function<void()> settled = {});

  std::shared_ptr<Banner> landingCard;

 private:
  void loadVideo();
};

}  // namespace zelvora
