#include "zelvora/platform/ui/Touch.h"

#include <algorithm>
#include <optional>

#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/GestureRecognizer.h"

namespace zelvora::platform {
namespace {

/// Below this alpha a view neither shows nor takes touches.
constexpr double transparent = 0.01;

bool takesTouches(const View& view) {
  return !view.isHidden && view.alpha > transparent && view.isUserInteractionEnabled;
}

std::optional<Rect> intersect(const std::optional<Rect>& clip, const Rect& rect) {
  if (!clip) return rect;
  const double left = std::max(clip->x, rect.x);
  const double top = std::max(clip->y, rect.y);
  const double right = std::min(clip->x + clip->width, rect.x + rect.width);
  const double bottom = std::min(clip->y + clip->height, rect.y + rect.height);
  return Rect{left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
}

std::shared_ptr<View> hit(const std::shared_ptr<View>& view, Point point,
                          std::optional<Rect> clip) {
  if (!takesTouches(*view)) return nullptr;
  const Rect rect = view->frameInRoot();
  if (view->clipsToBounds) clip = intersect(clip, rect);
  const auto& children = view->subviews();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto found = hit(*it, point, clip)) return found;
  }
  if (rect.contains(point) && (!clip || clip->contains(point))) return view;
  return nullptr;
}

}  // namespace

std::shared_ptr<View> hitTest(const View& root, Point point) {
  const auto& children = root.subviews();
  const std::optional<Rect> clip = root.frameInRoot();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto found = hit(*it, point, clip)) return found;
  }
  return nullptr;
}

bool takesTouchesInTree(const View& view) {
  for (auto node = &view; node->superview(); node = node->superview().get()) {
    if (!takesTouches(*node)) return false;
  }
  return true;
}

bool sendTap(const std::shared_ptr<View>& view) {
  if (!view || !takesTouchesInTree(*view)) return false;
  // The nearest button, or view with recognizers, below the root answers.
  for (auto node = view; node && node->superview(); node = node->superview()) {
    if (auto button = std::dynamic_pointer_cast<Button>(node)) {
      if (!button->isEnabled) return false;
      button->sendActions(ControlEvent::touchUpInside);
      return true;
    }
    if (node->gestureRecognizers().empty()) continue;
    // Copy: an action may change the view's recognizers or release the view.
    const auto recognizers = node->gestureRecognizers();
    bool fired = false;
    for (const auto& recognizer : recognizers) {
      fired |= recognizer->isEnabled && recognizer->numberOfTapsRequired <= 1;
      recognizer->recognize(1);
    }
    return fired;
  }
  return false;
}

std::function<bool()> tapLater(const std::shared_ptr<View>& view) {
  return [weak = std::weak_ptr<View>(view)] { return sendTap(weak.lock()); };
}

}  // namespace zelvora::platform
