#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "zelvora/Export.h"

namespace zelvora {

/// The user's advertising consent, as the host reports it.
enum class ConsentState : int {
  unknown = 0,
  notEeaUser = 1,
  consentPersonalizedAds = 2,
  consentNonPersonalizedAds = 3,
};

/// The state with raw value `rawValue`; none outside 0 to 3.
ZELVORA_API std::optional<ConsentState> consentStateFromRawValue(std::int64_t rawValue);
/// The text sent to the server ("UNKNOWN", "NOT_EEA_USER", ...).
ZELVORA_API std::string_view serverText(ConsentState state);

}  // namespace zelvora
