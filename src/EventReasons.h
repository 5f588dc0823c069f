#pragma once

#include <string>

#include "zelvora/ZelError.h"

namespace zelvora {

/// `onInitError(message)` to the host's delegate, then the reason to an extended delegate.
void reportInitError(ZelError reason, const std::string& message);
/// The `adFailedToShow` event (its trace line and `onAdFailedToShow`), then the reason to an
/// extended delegate.
void reportFailedToShow(const std::string& placementId, ZelError reason,
                        const std::string& message);

}  // namespace zelvora
