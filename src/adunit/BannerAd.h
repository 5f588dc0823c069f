#pragma once

#include <memory>

#include "adunit/Ad.h"
#include "adunit/components/Banner.h"
#include "adunit/rendering/FrameView.h"

namespace zelvora {

/// An ad of one image ("ctv"), downloaded at preload.
class BannerAd : public Ad {
 public:
  explicit BannerAd(const JSON& initWithData);

  void preload() override;

  std::shared_ptr<Banner> banner;
  std::shared_ptr<FrameView> frame;
};

}  // namespace zelvora
