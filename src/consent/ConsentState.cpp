#include "zelvora/ConsentState.h"

namespace zelvora {

std::optional<ConsentState> consentStateFromRawValue(std::int64_t rawValue) {
  if (rawValue < 0 || rawValue > 3) return std::nullopt;
  return static_cast<ConsentState>(rawValue);
}

std::string_view serverText(ConsentState state) {
  switch (state) {
    case ConsentState::notEeaUser:
      return "NOT_EEA_USER";
    case ConsentState::consentPersonalizedAds:
      return "CONSENT_PERSONALIZED_ADS";
    case ConsentState::consentNonPersonalizedAds:
      return "CONSENT_NON_PERSONALIZED_ADS";
    case ConsentState::unknown:
      break;
  }
  return "UNKNOWN";
}

}  // namespace zelvora
