#include "adunit/BannerAd.h"

#include "net/JsonReading.h"
#include "tools/FileLoader.h"

namespace zelvora {

BannerAd::BannerAd(const JSON& initWithData)
    : Ad(initWithData), banner(Banner::make(stringValue(member(data(), "ctv")))) {}

void BannerAd::preload() {
  FileLoader::loadFile(
      banner->url,
      [weak = std::weak_ptr<Banner>(banner)](const std::string& path) {
        if (auto target = weak.lock()) target->preloadCompletion(path);
      },
      AssetKind::image);
}

}  // namespace zelvora
