#include "zelvora/platform/ui/ScreenViews.h"

#include <cmath>
#include <cstdio>

#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora::platform {
namespace {

void collectVisible(const std::shared_ptr<View>& view, std::vector<std::shared_ptr<View>>& out) {
  if (view->isHidden) return;
  out.push_back(view);
  for (const auto& child : view->subviews()) collectVisible(child, out);
}

std::string number(double value) {
  double rounded = std::round(value * 10) / 10;
  if (rounded == 0) rounded = 0;  // no "-0"
  char text[48];
  std::snprintf(text, sizeof text, rounded == std::floor(rounded) ? "%.0f" : "%.1f", rounded);
  return text;
}

void describe(const View& view, int depth, std::string& out) {
  const Rect rect = view.frameInRoot();
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += view.typeName() + " (" + number(rect.x) + ", " + number(rect.y) + ", " +
         number(rect.width) + ", " + number(rect.height) + ")";
  if (const auto content = view.describeContent(); !content.empty()) out += " " + content;
  if (!view.accessibilityIdentifier.empty()) out += " #" + view.accessibilityIdentifier;
  if (view.isHidden) out += " hidden";
  if (view.alpha != 1) out += " alpha=" + number(view.alpha);
  out += "\n";
  if (view.isHidden) return;
  for (const auto& child : view.subviews()) describe(*child, depth + 1, out);
}

}  // namespace

std::vector<std::shared_ptr<View>> visibleViews(const View& root) {
  std::vector<std::shared_ptr<View>> views;
  for (const auto& child : root.subviews()) collectVisible(child, views);
  return views;
}

std::shared_ptr<View> visibleViewWithId(const View& root,
                                        const std::string& accessibilityIdentifier) {
  for (const auto& view : visibleViews(root)) {
    if (view->accessibilityIdentifier == accessibilityIdentifier) return view;
  }
  return nullptr;
}

std::shared_ptr<View> visibleViewTitled(const View& root, const std::string& text) {
  for (const auto& view : visibleViews(root)) {
    if (auto button = std::dynamic_pointer_cast<Button>(view)) {
      const auto state = button->isEnabled ? ControlState::normal : ControlState::disabled;
      if (button->title(state) == text) return view;
    } else if (auto label = std::dynamic_pointer_cast<Label>(view)) {
      if (label->text == text) return view;
    }
  }
  return nullptr;
}

std::string describeViewTree(const View& root) {
  std::string out;
  describe(root, 0, out);
  return out;
}

}  // namespace zelvora::platform
