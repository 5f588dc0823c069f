#pragma once

#include "zelvora/Export.h"

namespace zelvora::platform {

/// An RGBA colour, components from 0 to 1.
struct ZELVORA_API Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  static Color black() { return {0, 0, 0, 1}; }
  static Color white() { return {1, 1, 1, 1}; }
  static Color gray() { return {0.5, 0.5, 0.5, 1}; }
  static Color darkGray() { return {1.0 / 3, 1.0 / 3, 1.0 / 3, 1}; }
  static Color clear() { return {0, 0, 0, 0}; }

  Color withAlpha(double value) const { return {red, green, blue, value}; }
  bool operator==(const Color&) const = default;
};

}  // namespace zelvora::platform
