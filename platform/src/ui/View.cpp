#include "zelvora/platform/ui/View.h"

#include <algorithm>

#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/LayoutConstraint.h"

namespace zelvora::platform {

View::~View() = default;

void View::setCenter(Point center) {
  frame.x = center.x - frame.width / 2;
  frame.y = center.y - frame.height / 2;
}

void View::addSubview(const std::shared_ptr<View>& view) {
  if (!view || view.get() == this || isDescendant(*view)) return;
  view->removeFromSuperview();
  view->superview_ = weak_from_this();
  subviews_.push_back(view);
  setNeedsLayout();
}

void View::removeFromSuperview() {
  auto parent = superview_.lock();
  superview_.reset();
  if (!parent) return;
  // Keep this view alive while it leaves its parent's list.
  auto self = shared_from_this();
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
}

bool View::isDescendant(const View& ancestor) const {
  for (auto parent = superview(); parent; parent = parent->superview()) {
    if (parent.get() == &ancestor) return true;
  }
  return false;
}

Rect View::frameInRoot() const {
  Rect result = frame;
  for (auto parent = superview(); parent; parent = parent->superview()) {
    result.x += parent->frame.x;
    result.y += parent->frame.y;
  }
  return result;
}

void View::addGestureRecognizer(const std::shared_ptr<TapGestureRecognizer>& recognizer) {
  if (recognizer) recognizers_.push_back(recognizer);
}

void View::setNeedsLayout() {
  if (auto window = Application::shared().keyWindow()) window->setNeedsLayout();
}

}  // namespace zelvora::platform
