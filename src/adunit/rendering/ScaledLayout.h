#pragma once

#include <memory>
#include <vector>

#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// The sizes of a screen laid out for a phone, each kept with its value at a phone's size so
/// that the screen can be brought to any `interfaceScale`, again and again.
class ScaledLayout {
 public:
  /// Keeps `constraint`, whose constant is the phone's.
  void add(std::shared_ptr<platform::LayoutConstraint> constraint);
  /// Keeps the view's corner radius and border width; a label's font size, text insets and
  /// shadow offset; a button's title size and image size.
  void add(std::shared_ptr<platform::View> view);

  /// Every size kept, multiplied by `scale` (1: a phone's).
  void apply(double scale);

 private:
  struct ScaledConstraint {
    std::shared_ptr<platform::LayoutConstraint> constraint;
    double constant;
  };
  struct ScaledView {
    std::shared_ptr<platform::View> view;
    double cornerRadius = 0;
    double borderWidth = 0;
    double fontSize = 0;
    platform::EdgeInsets textInsets;
    platform::Size shadowOffset;
    platform::Size imageSize;
  };
  std::vector<ScaledConstraint> constraints_;
  std::vector<ScaledView> views_;
};

}  // namespace zelvora
