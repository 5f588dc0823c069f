#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

// Finding views as the user sees them, from the model alone, so that every backend, its tests
// and the demo find the same views.
namespace zelvora::platform {

/// `root`'s subviews and everything below them, each view before its subviews; hidden views
/// and their subviews are left out. For a window: the root view controller's view and the
/// presented view controllers' views, bottom first, with what they hold.
ZELVORA_API std::vector<std::shared_ptr<View>> visibleViews(const View& root);

template <class T>
std::vector<std::shared_ptr<T>> visibleViewsOfType(const View& root) {
  std::vector<std::shared_ptr<T>> found;
  for (const auto& view : visibleViews(root)) {
    if (auto match = std::dynamic_pointer_cast<T>(view)) found.push_back(std::move(match));
  }
  return found;
}

/// The first visible view with `accessibilityIdentifier`, if any.
ZELVORA_API std::shared_ptr<View> visibleViewWithId(const View& root,
                                                    const std::string& accessibilityIdentifier);
/// The first visible button whose current title, or label whose text, is `text`.
ZELVORA_API std::shared_ptr<View> visibleViewTitled(const View& root, const std::string& text);

/// One line per view from `root` down, indented by depth:
/// `Type (x, y, w, h) content #identifier`, then "hidden" or "alpha=..." when so (a hidden
/// view's subviews are left out). Frames are in `root`'s coordinates, to a tenth of a point.
ZELVORA_API std::string describeViewTree(const View& root);

}  // namespace zelvora::platform
