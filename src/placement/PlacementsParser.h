#pragma once

#include "zelvora/Json.h"

namespace zelvora {

/// Turns the answer's "data"/"placements" into registered placements.
struct PlacementsParser {
  /// `placementsObject` is an object keyed by placement id, or an array whose ids are the
  /// positions; anything else registers nothing. Placements without ads are reported as
  /// `noAds`; those whose first ad is not an interstitial, or is "interactive", are skipped.
  /// The value is taken over: its placement objects move into the placements.
  static void parseData(JSON placementsObject);
};

}  // namespace zelvora
