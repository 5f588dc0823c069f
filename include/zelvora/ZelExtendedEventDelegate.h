#pragma once

#include <string>

#include "zelvora/Export.h"
#include "zelvora/ZelError.h"
#include "zelvora/ZelEventDeclaration.h"

namespace zelvora {

/// A delegate that also learns why initialisation failed or an ad could not be shown. Set it
/// as the controller's delegate like any other: each reason follows, on the main thread, right
/// after the callback it explains (`onInitError`, `onAdFailedToShow`, `onNoAds`), which is still
/// made.
class ZELVORA_API ZelExtendedEventDelegate : public ZelEventDelegate {
 public:
  /// After `onInitError(message)`, with the same message.
  virtual void onInitErrorWithReason(ZelError reason, const std::string& message) {
    (void)reason;
    (void)message;
  }
  /// After `onNoAds(placementId)` for an ad that could not be made ready (a VAST ad that
  /// cannot be played); not after the answer's placements without ads.
  virtual void onNoAdsWithReason(const std::string& placementId, ZelError reason,
                                 const std::string& message) {
    (void)placementId;
    (void)reason;
    (void)message;
  }
  /// After `onAdFailedToShow(placementId)`.
  virtual void onAdFailedToShowWithReason(const std::string& placementId, ZelError reason,
                                          const std::string& message) {
    (void)placementId;
    (void)reason;
    (void)message;
  }
};

}  // namespace zelvora
