#pragma once

#include <functional>
#include <memory>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"

// How a touch finds its view and what answers a tap, the same for every backend's input and for
// the test driver. A view takes touches when it is shown, not transparent (alpha above 0.01)
// and has user interaction enabled.
namespace zelvora::platform {

/// The topmost view below `root` at `point` (in the coordinates `frameInRoot` gives) that could
/// take a touch: it and its ancestors take touches, and the point lies inside every ancestor
/// that clips to its bounds, and inside the root. Never the root itself.
ZELVORA_API std::shared_ptr<View> hitTest(const View& root, Point point);

/// Whether a finger reaches `view`: it and every ancestor below the root take touches.
ZELVORA_API bool takesTouchesInTree(const View& view);

/// Taps `view` as a finger would: the view, or its nearest ancestor that is a button or has tap
/// recognizers, responds; the root of its tree (the window) never does. A button sends its
/// touch-up-inside actions when enabled; any other view fires its recognizers. Nothing happens
/// when the view or an ancestor below the root does not take touches. Returns whether
/// something responded.
ZELVORA_API bool sendTap(const std::shared_ptr<View>& view);

/// A tap on `view` (held weakly) to run later, returning whether something responded: the
/// escape answer of a screen whose close or back control is `view`.
ZELVORA_API std::function<bool()> tapLater(const std::shared_ptr<View>& view);

}  // namespace zelvora::platform
