#pragma once

#include <optional>
#include <vector>

#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// How much of an ad's web view a user can see, as MRAID's "exposureChange" tells it.
struct MraidExposure {
  /// The share of the web view's area on screen and uncovered, 0 to 100.
  double percentage = 0;
  /// The part of the web view on screen, in the web view's own coordinates; none when nothing
  /// of it can be seen.
  std::optional<platform::Rect> visible;
  /// The parts of `visible` that something covers, in the same coordinates.
  std::vector<platform::Rect> occlusions;

  bool operator==(const MraidExposure&) const = default;
};

/// The exposure of `adView` on a screen of `screen` (root coordinates), under `covers` (root
/// coordinates too): clipped by the screen and by every ancestor that clips its subviews.
MraidExposure measureExposure(const platform::View& adView, const platform::Rect& screen,
                              const std::vector<platform::Rect>& covers);

}  // namespace zelvora
