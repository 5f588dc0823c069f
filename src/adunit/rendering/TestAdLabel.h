#pragma once

#include <memory>

#include "adunit/rendering/ScaledLayout.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// In test mode (`AdSettings::testMode`), adds the "Test ad" mark to `parent`, above its
/// subviews, in the bottom-left corner of `corner` (the parent or one of its subviews) a margin
/// in from each edge, or, when `after` (a sibling in that corner) is given, a margin right of it
/// on its bottom line. Its sizes, a phone's, join `layout`, which the caller scales with the
/// window.
///
/// The mark takes no touches: a tap on it reaches the ad beneath.
void addTestAdLabel(const std::shared_ptr<platform::View>& parent,
                    const std::shared_ptr<platform::View>& corner, ScaledLayout& layout,
                    const std::shared_ptr<platform::View>& after = {});

}  // namespace zelvora
