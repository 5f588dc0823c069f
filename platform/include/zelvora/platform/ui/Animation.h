#pragma once

#include <functional>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// Animates changes of views' alpha and frame over `duration` seconds of the main queue's
/// clock. As on a mobile toolkit, the model takes the target values at once: `changes` runs
/// now, so the views hold their final values from the start, and a backend may draw the way
/// there. `completion` runs once `duration` has passed; with a duration of 0 or less, in the
/// next main-queue task. Main thread only.
ZELVORA_API void animate(double duration, std::function<void()> changes,
                         std::function<void()> completion = {});

}  // namespace zelvora::platform
