#include "adunit/BannerAd.h"

#include "net/JsonReading.h"
#include "net/Url.h"
#include "tools/FileLoader.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

BannerAd::BannerAd(const JSON& initWithData)
    : Ad(initWithData), banner(Banner::make(stringValue(member(data(), "ctv")))) {}

void BannerAd::preload() {
  const auto& url = banner->url;
  if (!isValidUrl(url) || (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)) {
    // Told after the preload call, as every other outcome is.
    platform::postToMainQueue([weak = weak_from_this()] {
      if (auto self = weak.lock())
        self->loadFailed(ZelError::invalidAd, "the ad has no valid image address");
    });
    return;
  }
  FileLoader::loadFile(
      banner->url,
      [weak = weak_from_this()](const std::string& path) {
        auto self = std::static_pointer_cast<BannerAd>(weak.lock());
        if (!self) return;
        self->banner->preloadCompletion(path, [weak](bool decoded) {
          auto self = std::static_pointer_cast<BannerAd>(weak.lock());
          if (self && !decoded)
            self->loadFailed(ZelError::wrongKind,
                             "the image does not decode: " + self->banner->url);
        });
      },
      AssetKind::image,
      [weak = weak_from_this()](const HttpError& error) {
        if (auto self = weak.lock()) self->loadFailed(error.reason, error.localizedDescription);
      });
}

}  // namespace zelvora
