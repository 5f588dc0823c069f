#pragma once

#include <string>

#include "zelvora/Export.h"
#include "zelvora/ZelError.h"
#include "zelvora/ZelEventDeclaration.h"

namespace zelvora {

/// A delegate that also learns why initialisation failed or an ad could not be shown, and when
/// an ad's screen covers the host's. Set it as the controller's delegate like any other: each
/// reason follows, on the main thread, right after the callback it explains (`onInitError`,
/// `onAdFailedToShow`, `onNoAds`), which is still made.
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

  /// An attempt to load the placement's ad failed (or its ad expired), with why. The SDK goes on
  /// by itself: a passing fault (`ZelError::downloadFailed`, `timedOut`, `pageDidNotLoad`, ...)
  /// is tried again after a growing pause (`AdSettings`), and at once when the network comes
  /// back; any other moves the placement on to its next ad; an expired ad is loaded afresh.
  /// Once per attempt.
  virtual void onAdFailedToLoadWithReason(const std::string& placementId, ZelError reason,
                                          const std::string& message) {
    (void)placementId;
    (void)reason;
    (void)message;
  }
  /// After `onAdReady`, each time `isReady` turns true again: after a showing (when the ad on
  /// screen has closed, and a reloading creative is back), a retry, an expiry, or the pause
  /// between ads (`AdSettings::minimumSecondsBetweenAds`). A host waits for this, not polls.
  virtual void onAdReadyAgain(const std::string& placementId) { (void)placementId; }

  /// Before the first screen of a showing is presented over the host's view controller, ahead
  /// of `onAdShown`: a game pauses its loop and mutes its sound here.
  virtual void onAdWillPresentScreen(const std::string& placementId) { (void)placementId; }
  /// Once every screen of that showing is gone (the landing card and the click-through page
  /// included), after its `onAdClose`: the game resumes here. Exactly one per
  /// `onAdWillPresentScreen`; a `showAd` refused before anything is presented has neither.
  virtual void onAdDidDismissScreen(const std::string& placementId) { (void)placementId; }
};

}  // namespace zelvora
