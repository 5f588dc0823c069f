#pragma once

#include "zelvora/Export.h"

namespace zelvora::platform {

struct ZELVORA_API Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct ZELVORA_API Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct ZELVORA_API Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  Point origin() const { return {x, y}; }
  Size size() const { return {width, height}; }
  Point center() const { return {x + width / 2, y + height / 2}; }
  bool contains(Point point) const {
    return point.x >= x && point.x < x + width && point.y >= y && point.y < y + height;
  }
  bool operator==(const Rect&) const = default;
};

/// Distances inward from each edge of a rectangle.
struct ZELVORA_API EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

/// Interface orientations, as a mobile OS names them.
enum class InterfaceOrientation {
  unknown,
  portrait,
  portraitUpsideDown,
  landscapeLeft,
  landscapeRight
};

inline bool isPortrait(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::portrait ||
         orientation == InterfaceOrientation::portraitUpsideDown;
}
inline bool isLandscape(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::landscapeLeft ||
         orientation == InterfaceOrientation::landscapeRight;
}

/// A set of interface orientations.
struct ZELVORA_API OrientationMask {
  bool portrait = false;
  bool portraitUpsideDown = false;
  bool landscapeLeft = false;
  bool landscapeRight = false;

  static OrientationMask portraitOnly() { return {true, false, false, false}; }
  static OrientationMask landscape() { return {false, false, true, true}; }
  static OrientationMask all() { return {true, true, true, true}; }
  bool contains(InterfaceOrientation orientation) const;
  bool operator==(const OrientationMask&) const = default;
};

}  // namespace zelvora::platform
