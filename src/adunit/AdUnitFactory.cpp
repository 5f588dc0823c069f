#include "adunit/AdUnitFactory.h"

#include "adunit/types/InterstitialFactory.h"
#include "net/JsonReading.h"

namespace zelvora {

std::shared_ptr<Ad> AdUnitFactory::createAdUnit(const JSON& data) {
  if (stringValue(member(member(data, "ad"), "type")) == "interstitial")
    return InterstitialFactory::createAdUnit(data);
  return nullptr;
}

}  // namespace zelvora
