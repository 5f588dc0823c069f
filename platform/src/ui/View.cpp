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
  if (view->superview().get() == this) {
    // Staying in the tree, it keeps its constraints.
    const auto at = std::find(subviews_.begin(), subviews_.end(), view);
    std::rotate(at, at + 1, subviews_.end());
  } else {
    view->removeFromSuperview();
    view->superview_ = weak_from_this();
    subviews_.push_back(view);
  }
  setNeedsLayout();
}

void View::removeFromSuperview() {
  auto parent = superview_.lock();
  if (!parent) {
    // Outside any tree (its superview may have been released): only dead ties can go.
    superview_.reset();
    detachConstraints(nullptr);
    return;
  }
  auto treeRoot = parent;
  while (auto above = treeRoot->superview()) treeRoot = above;
  detachConstraints(treeRoot.get());
  superview_.reset();
  // Keep this view alive while it leaves its parent's list.
  auto self = shared_from_this();
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
}

void View::detachConstraints(View* treeRoot) {
  const auto inside = [this](const std::shared_ptr<View>& view) {
    return view && (view.get() == this || view->isDescendant(*this));
  };
  std::vector<std::shared_ptr<LayoutConstraint>> loose;
  std::vector<View*> pending{this};
  while (!pending.empty()) {
    View* view = pending.back();
    pending.pop_back();
    for (const auto& constraint : view->constraints_) {
      if (!constraint->hasToItem()) continue;
      const auto other = constraint->toItem();
      if (!other || (treeRoot && !inside(other))) loose.push_back(constraint);
    }
    for (const auto& child : view->subviews_) pending.push_back(child.get());
  }
  // Ties held by the views that stay behind.
  if (treeRoot) pending.push_back(treeRoot);
  while (!pending.empty()) {
    View* view = pending.back();
    pending.pop_back();
    if (view == this) continue;
    for (const auto& constraint : view->constraints_) {
      if (inside(constraint->toItem())) loose.push_back(constraint);
    }
    for (const auto& child : view->subviews_) pending.push_back(child.get());
  }
  for (const auto& constraint : loose) constraint->setActive(false);
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
