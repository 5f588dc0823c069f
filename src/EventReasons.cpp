#include "EventReasons.h"

#include "ControllerAccess.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"

namespace zelvora {
namespace {
// Read anew after the first callback, which may have replaced or released the delegate.
std::shared_ptr<ZelExtendedEventDelegate> extendedDelegate() {
  return std::dynamic_pointer_cast<ZelExtendedEventDelegate>(
      ZelController::sharedInstance().eventDelegate());
}

void traceEvent(const char* name, const std::string& placementId) {
  log(LogLevel::trace, std::string("ZelController: ") + name + " for placement " + placementId);
}
}  // namespace

void reportInitError(ZelError reason, const std::string& message) {
  if (const auto delegate = ZelController::sharedInstance().eventDelegate())
    delegate->onInitError(message);
  if (const auto extended = extendedDelegate()) extended->onInitErrorWithReason(reason, message);
}

void reportNoAds(const std::string& placementId, ZelError reason, const std::string& message) {
  internal::ControllerAccess::triggerPlacementEvent(Event::noAds, placementId);
  if (const auto extended = extendedDelegate())
    extended->onNoAdsWithReason(placementId, reason, message);
}

void reportFailedToShow(const std::string& placementId, ZelError reason,
                        const std::string& message) {
  internal::ControllerAccess::triggerPlacementEvent(Event::adFailedToShow, placementId);
  if (const auto extended = extendedDelegate())
    extended->onAdFailedToShowWithReason(placementId, reason, message);
}

void reportFailedToLoad(const std::string& placementId, ZelError reason,
                        const std::string& message) {
  traceEvent("onAdFailedToLoad", placementId);
  if (const auto extended = extendedDelegate())
    extended->onAdFailedToLoadWithReason(placementId, reason, message);
}

void reportReadyAgain(const std::string& placementId) {
  traceEvent("onAdReadyAgain", placementId);
  if (const auto extended = extendedDelegate()) extended->onAdReadyAgain(placementId);
}

void reportWillPresentScreen(const std::string& placementId) {
  traceEvent("onAdWillPresentScreen", placementId);
  if (const auto extended = extendedDelegate()) extended->onAdWillPresentScreen(placementId);
}

void reportDidDismissScreen(const std::string& placementId) {
  traceEvent("onAdDidDismissScreen", placementId);
  if (const auto extended = extendedDelegate()) extended->onAdDidDismissScreen(placementId);
}

}  // namespace zelvora
