#include "zelvora/platform/ui/LayoutConstraint.h"

#include <algorithm>

#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

std::shared_ptr<LayoutConstraint> LayoutConstraint::make(const std::shared_ptr<View>& item,
                                                         LayoutAttribute attribute, LayoutRelation,
                                                         const std::shared_ptr<View>& toItem,
                                                         LayoutAttribute toAttribute,
                                                         double multiplier, double constant) {
  std::shared_ptr<LayoutConstraint> constraint(new LayoutConstraint());
  constraint->item_ = item;
  constraint->toItem_ = toItem;
  constraint->hasToItem_ = toItem != nullptr;
  constraint->attribute_ = attribute;
  constraint->toAttribute_ = toItem ? toAttribute : LayoutAttribute::notAnAttribute;
  constraint->multiplier_ = multiplier;
  constraint->constant_ = constant;
  return constraint;
}

void LayoutConstraint::setActive(bool active) {
  auto owner = item_.lock();
  if (active == active_ || !owner) return;
  active_ = active;
  auto& list = owner->constraints_;
  if (active) {
    list.push_back(shared_from_this());
  } else {
    list.erase(std::remove(list.begin(), list.end(), shared_from_this()), list.end());
  }
  owner->setNeedsLayout();
}

void LayoutConstraint::setConstant(double constant) {
  if (constant == constant_) return;
  constant_ = constant;
  if (auto owner = item_.lock(); owner && active_) owner->setNeedsLayout();
}

}  // namespace zelvora::platform
