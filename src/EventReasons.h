#pragma once

#include <string>

#include "zelvora/ZelError.h"

namespace zelvora {

/// `onInitError(message)` to the host's delegate, then the reason to an extended delegate.
void reportInitError(ZelError reason, const std::string& message);
/// The `noAds` event for a placement whose ad cannot be made ready, then the reason to an
/// extended delegate.
void reportNoAds(const std::string& placementId, ZelError reason, const std::string& message);
/// The `adFailedToShow` event (its trace line and `onAdFailedToShow`), then the reason to an
/// extended delegate.
void reportFailedToShow(const std::string& placementId, ZelError reason,
                        const std::string& message);
/// A failed attempt to load the placement's ad: a trace line like the placement events', and the
/// extended delegate's `onAdFailedToLoadWithReason`.
void reportFailedToLoad(const std::string& placementId, ZelError reason,
                        const std::string& message);
/// The placement can be shown again: a trace line, and the extended delegate's `onAdReadyAgain`.
void reportReadyAgain(const std::string& placementId);
/// A showing's screens come, or have all gone: a trace line like the placement events', and the
/// extended delegate's `onAdWillPresentScreen` or `onAdDidDismissScreen`.
void reportWillPresentScreen(const std::string& placementId);
void reportDidDismissScreen(const std::string& placementId);

}  // namespace zelvora
