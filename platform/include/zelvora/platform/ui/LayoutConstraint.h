#pragma once

#include <memory>

#include "zelvora/Export.h"

namespace zelvora::platform {

class View;

enum class LayoutAttribute {
  notAnAttribute,
  leading,
  trailing,
  top,
  bottom,
  width,
  height,
  centerX,
  centerY
};
enum class LayoutRelation { equal };

/// item.attribute = multiplier × toItem.attribute + constant.
/// Items are held weakly; an active constraint is owned by its first item. Supported between
/// a view and its superview, between siblings, and (width, height) against a constant.
/// A view that leaves its superview (removed, or added to another) takes none of its ties
/// along: the constraints between its subtree and the views outside it are deactivated. A
/// constraint whose second view is gone takes no part in layout.
class ZELVORA_API LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
 public:
  static std::shared_ptr<LayoutConstraint> make(const std::shared_ptr<View>& item,
                                                LayoutAttribute attribute, LayoutRelation relatedBy,
                                                const std::shared_ptr<View>& toItem,
                                                LayoutAttribute toAttribute, double multiplier,
                                                double constant);

  /// Activating hands the constraint to its first item and asks for a layout pass.
  void setActive(bool active);
  bool isActive() const { return active_; }
  /// A new constant asks for a layout pass when it changes anything.
  void setConstant(double constant);

  std::shared_ptr<View> item() const { return item_.lock(); }
  std::shared_ptr<View> toItem() const { return toItem_.lock(); }
  /// Whether it was made with a second view, which may be gone since.
  bool hasToItem() const { return hasToItem_; }
  LayoutAttribute attribute() const { return attribute_; }
  LayoutAttribute toAttribute() const { return toAttribute_; }
  double multiplier() const { return multiplier_; }
  double constant() const { return constant_; }

 private:
  LayoutConstraint() = default;

  std::weak_ptr<View> item_;
  std::weak_ptr<View> toItem_;
  LayoutAttribute attribute_ = LayoutAttribute::notAnAttribute;
  LayoutAttribute toAttribute_ = LayoutAttribute::notAnAttribute;
  double multiplier_ = 1;
  double constant_ = 0;
  bool hasToItem_ = false;
  bool active_ = false;
};

}  // namespace zelvora::platform
