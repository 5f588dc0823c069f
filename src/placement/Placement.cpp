#include "placement/Placement.h"

#include "ControllerAccess.h"
#include "adunit/AdUnitFactory.h"
#include "net/JsonReading.h"
#include "zelvora/ZelController.h"

namespace zelvora {

void Placement::setup(JSON withData) {
  data_ = std::move(withData);
  name = stringValue(member(*data_, "name"));
  status = stringValue(member(*data_, "status"));
  if (status != "enabled") return;
  processAds(member(*data_, "ads"));
  preloadAd();
}

void Placement::processAds(const JSON& list) {
  if (!list.is_array()) return;
  for (const JSON& adObject : list) {
    auto unit = AdUnitFactory::createAdUnit(adObject);
    if (!unit) continue;
    unit->placementId = id;
    ads.insertOrAssign(stringValue(member(adObject, "adId")), std::move(unit));
  }
}

void Placement::preloadAd() {
  if (ads.empty()) return;
  const std::shared_ptr<Ad> unit = ads.front().second;
  unit->preloadDelegate = std::static_pointer_cast<AdPreloadProtocol>(shared_from_this());
  unit->preload();
}

void Placement::onAdLoaded() {
  internal::ControllerAccess::triggerPlacementEvent(Event::adReady, id);
}

}  // namespace zelvora
