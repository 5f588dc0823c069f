#pragma once

#include <string>
#include <vector>

#include "zelvora/Export.h"

namespace zelvora {

/// The consent strings of the advertising industry's frameworks, as the host's
/// consent-management platform produced them. An empty member is not set.
///
/// They are kept with the consent record and survive restarts. Each request carries those that
/// are set in its "consent" object, as "tcfString", "gppString", "gppSid" (the section ids, an
/// array of integers) and "usPrivacy"; VAST tracking URLs get them in [GDPRCONSENT],
/// [GPP_STRING] and [GPP_SID]. They travel with every request, not only after a change: setting
/// them does not mark the consent "changed", which stays about the state and its wording.
struct ZELVORA_API ConsentStrings {
  // The "= {}" let a host's designated initialisers leave members out without a warning.
  /// The IAB TCF 2.2 TC string.
  std::string tcfString = {};
  /// The GPP string, and the ids of the sections that apply (only with a GPP string).
  std::string gppString = {};
  std::vector<int> gppSectionIds = {};
  /// The US privacy string: "1" then Y, N or - three times, e.g. "1YNN".
  std::string usPrivacy = {};

  bool operator==(const ConsentStrings&) const = default;
};

}  // namespace zelvora
