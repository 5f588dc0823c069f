#include "KeyWindowViews.h"

#include <cmath>
#include <cstdio>

#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"

namespace demo {
namespace {
using zelvora::platform::Button;
using zelvora::platform::ControlState;
using zelvora::platform::Label;
using zelvora::platform::View;

void collect(const std::shared_ptr<View>& view, std::vector<std::shared_ptr<View>>& out) {
  if (view->isHidden) return;
  out.push_back(view);
  for (const auto& child : view->subviews()) collect(child, out);
}

std::string number(double value) {
  double rounded = std::round(value * 10) / 10;
  if (rounded == 0) rounded = 0;  // no "-0"
  char text[48];
  std::snprintf(text, sizeof text, rounded == std::floor(rounded) ? "%.0f" : "%.1f", rounded);
  return text;
}

void describe(const View& view, int depth, std::string& out) {
  const auto rect = view.frameInRoot();
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

std::vector<std::shared_ptr<View>> viewsOnScreen() {
  std::vector<std::shared_ptr<View>> views;
  if (const auto window = zelvora::platform::Application::shared().keyWindow()) {
    for (const auto& child : window->subviews()) collect(child, views);
  }
  return views;
}

std::shared_ptr<View> viewOnScreenWithId(const std::string& identifier) {
  for (const auto& view : viewsOnScreen()) {
    if (view->accessibilityIdentifier == identifier) return view;
  }
  return nullptr;
}

std::shared_ptr<View> viewOnScreenTitled(const std::string& text) {
  for (const auto& view : viewsOnScreen()) {
    if (const auto button = std::dynamic_pointer_cast<Button>(view)) {
      if (button->title(button->isEnabled ? ControlState::normal : ControlState::disabled) == text)
        return view;
    } else if (const auto label = std::dynamic_pointer_cast<Label>(view)) {
      if (label->text == text) return view;
    }
  }
  return nullptr;
}

std::string describeScreen() {
  std::string out;
  if (const auto window = zelvora::platform::Application::shared().keyWindow())
    describe(*window, 0, out);
  return out;
}

}  // namespace demo
