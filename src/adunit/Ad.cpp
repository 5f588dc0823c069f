#include "adunit/Ad.h"

#include <cassert>
#include <cmath>

#include "RESTClient.h"
#include "net/JsonReading.h"
#include "util/Time.h"
#include "zelvora/ZelController.h"

namespace zelvora {

namespace {
AdFormat formatOf(const JSON& adObject) {
  const auto format = adFormatFromString(stringValue(member(member(adObject, "ad"), "subtype")));
  // The factories build ad units for the known formats only.
  assert(format.has_value());
  return format.value_or(AdFormat::videoVast);
}
}  // namespace

Ad::Ad(const JSON& initWithData)
    : id_(stringValue(member(initWithData, "adId"))),
      data_(member(member(initWithData, "ad"), "data")),
      offering_(member(initWithData, "offering")),
      format_(formatOf(initWithData)) {}

void Ad::trigger(Event event) {
  if (placementId) ZelController::sharedInstance().triggerPlacementEvent(event, *placementId);
}

void Ad::callImpBeacon() {
  trigger(Event::adShown);
  RESTClient::callBeacon(asString(member(data_, "imp")));
  RESTClient::callBeacon(asString(member(data_, "extraImpBeacon")));
}

void Ad::callDisplayTimeBeacon(double closeTime) {
  if (openTime == 0) return;
  auto url = asString(member(data_, "adCloseBeaconUrl"));
  if (!url) return;
  const double seconds = closeTime - openTime;
  // std::round rounds halves away from zero; clamp what no 64-bit integer can hold.
  const std::int64_t duration = std::isfinite(seconds) && std::fabs(seconds) < 9.2e18
                                    ? static_cast<std::int64_t>(std::round(seconds))
                                    : 0;
  const std::string macro = "{length}";
  const std::string text = std::to_string(duration);
  for (auto at = url->find(macro); at != std::string::npos; at = url->find(macro, at + text.size()))
    url->replace(at, macro.size(), text);
  RESTClient::callBeacon(url);
  openTime = 0;
}

void Ad::onViewControllerAppeared() {
  if (openTime == 0) openTime = currentTime();
}

void Ad::onViewControllerDisappeared() {
  callDisplayTimeBeacon(currentTime());
  trigger(Event::adClose);
}

}  // namespace zelvora
