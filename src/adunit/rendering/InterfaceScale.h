#pragma once

#include <algorithm>

#include "zelvora/platform/ui/Geometry.h"

namespace zelvora {

/// The SDK's screens are laid out for a phone and scaled up from there on larger windows, so
/// that their controls and text stay legible on a television or a kiosk. The factor follows the
/// window's short side: text of the base size (16 points) is at least 2.5% of it, and a phone's
/// window (a short side under 640 points) keeps the base sizes.
inline double interfaceScale(platform::Size window) {
  return std::max(1.0, std::min(window.width, window.height) / 640.0);
}

}  // namespace zelvora
