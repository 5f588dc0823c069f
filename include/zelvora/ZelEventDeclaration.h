#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelvora/Export.h"

namespace zelvora {

/// The placement events the controller reports to the delegate.
enum class Event { onInit, noAds, adReady, adShown, adFailedToShow, adClose, adClick };

/// The event's name in the trace line ("onAdReady" for `adReady`).
ZELVORA_API std::string_view logName(Event event);

/// Implemented by the host to receive the SDK's events, always on the main thread; a host
/// overrides the events it needs (each does nothing by default). The controller holds it
/// weakly.
class ZELVORA_API ZelEventDelegate {
 public:
  virtual ~ZelEventDelegate() = default;
  /// Every initialisation attempt ends here, with the ids of the registered placements.
  virtual void onInit(const std::vector<std::string>& placementIds) { (void)placementIds; }
  virtual void onInitError(const std::string& message) { (void)message; }
  virtual void onNoAds(const std::string& placementId) { (void)placementId; }
  virtual void onAdReady(const std::string& placementId) { (void)placementId; }
  virtual void onAdShown(const std::string& placementId) { (void)placementId; }
  virtual void onAdFailedToShow(const std::string& placementId) { (void)placementId; }
  virtual void onAdClose(const std::string& placementId) { (void)placementId; }
  virtual void onAdClick(const std::string& placementId) { (void)placementId; }
};

}  // namespace zelvora
