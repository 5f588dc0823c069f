#pragma once

#include <memory>

#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// Activates item.attribute = toItem.toAttribute + constant (multiplier 1).
inline std::shared_ptr<platform::LayoutConstraint> constrain(
    const std::shared_ptr<platform::View>& item, platform::LayoutAttribute attribute,
    const std::shared_ptr<platform::View>& toItem, platform::LayoutAttribute toAttribute,
    double constant) {
  auto constraint = platform::LayoutConstraint::make(
      item, attribute, platform::LayoutRelation::equal, toItem, toAttribute, 1, constant);
  constraint->setActive(true);
  return constraint;
}

/// Activates item.attribute = constant (a width or a height).
inline std::shared_ptr<platform::LayoutConstraint> constrainSize(
    const std::shared_ptr<platform::View>& item, platform::LayoutAttribute attribute,
    double constant) {
  return constrain(item, attribute, nullptr, platform::LayoutAttribute::notAnAttribute, constant);
}

}  // namespace zelvora
