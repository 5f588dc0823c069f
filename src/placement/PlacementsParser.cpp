#include "placement/PlacementsParser.h"

#include <memory>
#include <string>

#include "ControllerAccess.h"
#include "net/JsonReading.h"
#include "placement/Placement.h"
#include "zelvora/ZelController.h"

namespace zelvora {
namespace {
void parsePlacement(const std::string& placementId, JSON&& placementObject) {
  const JSON& list = member(placementObject, "ads");
  if (!list.is_array() || list.empty()) {
    internal::ControllerAccess::triggerPlacementEvent(Event::noAds, placementId);
    return;
  }
  const JSON& firstAd = member(list[0], "ad");
  if (stringValue(member(firstAd, "type")) != "interstitial") return;
  if (stringValue(member(firstAd, "subtype")) == "interactive") return;

  auto placement = std::make_shared<Placement>(placementId);
  placement->setup(std::move(placementObject));
  internal::ControllerAccess::placements().insertOrAssign(placementId, std::move(placement));
}
}  // namespace

void PlacementsParser::parseData(JSON placementsObject) {
  if (placementsObject.is_object()) {
    for (auto& [placementId, placementObject] : placementsObject.items())
      parsePlacement(placementId, std::move(placementObject));
  } else if (placementsObject.is_array()) {
    for (std::size_t i = 0; i < placementsObject.size(); ++i)
      parsePlacement(std::to_string(i), std::move(placementsObject[i]));
  }
}

}  // namespace zelvora
