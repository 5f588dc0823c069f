#pragma once

#include <memory>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

// Keyboard focus and keys, the same for every backend and for the test driver: a person with a
// keyboard, a remote or a gamepad moves focus over a screen's controls, activates them and
// leaves the screen with Escape.
namespace zelvora::platform {

/// The keys the view model understands: a keyboard's, a remote's Back, a gamepad's as a
/// backend maps them.
enum class Key { escape, back, tab, backtab, left, right, up, down, enter, space };

/// The views of `screen` that focus moves over, in reading order (top to bottom, then left to
/// right): enabled buttons, views with an enabled tap recognizer, and web views (one stop: the
/// page has its own order inside), each one a finger could reach where it is (it and its
/// ancestors shown, not transparent, taking touches, and not wholly under another view that
/// takes touches). `window` is the tree's root.
ZELVORA_API std::vector<std::shared_ptr<View>> focusableViews(const View& window,
                                                              const View& screen);

/// Escape at `from`: asks `from`, then each ancestor up to and including `screen`, to perform
/// it (View::accessibilityPerformEscape) until one does. Returns whether one did.
ZELVORA_API bool performEscape(const std::shared_ptr<View>& from, const View& screen);

}  // namespace zelvora::platform
