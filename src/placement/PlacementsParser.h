#pragma once

#include <cstdint>
#include <functional>

#include "zelvora/Json.h"

namespace zelvora {

/// Turns the answer's "data"/"placements" into registered placements.
struct PlacementsParser {
  /// `placementsObject` is an object keyed by placement id, or an array whose ids are the
  /// positions; anything else registers nothing. Placements without ads are reported as
  /// `noAds`; those whose first ad is not an interstitial, or is "interactive", are skipped.
  /// The value is taken over: its placement objects move into the placements.
  ///
  /// A large answer must not hold the host's main loop: placements are registered (and their
  /// preloads started) in slices of at most `kSliceSeconds`, the first now and each next one in
  /// a later main-queue task, in the answer's order; `done` runs right after the last. A
  /// registration still under way is abandoned when `generation` (bumped by the caller for a
  /// newer answer or a reset) no longer returns `current`.
  static void parseData(JSON placementsObject, std::function<void()> done = {},
                        std::function<std::uint64_t()> generation = {}, std::uint64_t current = 0);

  static constexpr double kSliceSeconds = 0.0015;
};

}  // namespace zelvora
