#pragma once

#include <memory>

#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// Activates item.attribute = toItem.toAttribute + constant (multiplier 1).
inline void constrain(const std::shared_ptr<platform::View>& item,
                      platform::LayoutAttribute attribute,
                      const std::shared_ptr<platform::View>& toItem,
                      platform::LayoutAttribute toAttribute, double constant) {
  platform::LayoutConstraint::make(item, attribute, platform::LayoutRelation::equal, toItem,
                                   toAttribute, 1, constant)
      ->setActive(true);
}

/// Activates item.attribute = constant (a width or a height).
inline void constrainSize(const std::shared_ptr<platform::View>& item,
                          platform::LayoutAttribute attribute, double constant) {
  platform::LayoutConstraint::make(item, attribute, platform::LayoutRelation::equal, nullptr,
                                   platform::LayoutAttribute::notAnAttribute, 1, constant)
      ->setActive(true);
}

}  // namespace zelvora
