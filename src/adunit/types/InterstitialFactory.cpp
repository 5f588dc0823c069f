#include "adunit/types/InterstitialFactory.h"

#include "adunit/types/InterstitialHouseBanner.h"
#include "adunit/types/InterstitialHouseVideo.h"
#include "adunit/types/InterstitialHtml.h"
#include "adunit/types/InterstitialVast.h"
#include "net/JsonReading.h"

namespace zelvora {

std::shared_ptr<Ad> InterstitialFactory::createAdUnit(const JSON& data) {
  const auto format = adFormatFromString(stringValue(member(member(data, "ad"), "subtype")));
  if (!format) return nullptr;
  switch (*format) {
    case AdFormat::videoVast: {
      auto unit = std::make_shared<InterstitialVast>(data);
      unit->videoPlayer->delegate = unit;
      return unit;
    }
    case AdFormat::banner: {
      auto unit = std::make_shared<InterstitialHouseBanner>(data);
      unit->shouldShowAdAfterPreload = false;
      unit->banner->preloadDelegate = unit;
      return unit;
    }
    case AdFormat::video: {
      auto unit = std::make_shared<InterstitialHouseVideo>(data);
      unit->videoPlayer->delegate = unit;
      return unit;
    }
    case AdFormat::html:
    case AdFormat::jsTag:
    case AdFormat::mraidTag:
      return std::make_shared<InterstitialHtml>(data);
  }
  return nullptr;
}

}  // namespace zelvora
