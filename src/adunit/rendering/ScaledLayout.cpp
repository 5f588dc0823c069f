#include "adunit/rendering/ScaledLayout.h"

#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora {
using namespace platform;

void ScaledLayout::add(std::shared_ptr<LayoutConstraint> constraint) {
  const double constant = constraint->constant();
  constraints_.push_back({std::move(constraint), constant});
}

void ScaledLayout::add(std::shared_ptr<View> view) {
  ScaledView kept;
  kept.view = view;
  kept.cornerRadius = view->layer.cornerRadius;
  kept.borderWidth = view->layer.borderWidth;
  if (const auto* label = dynamic_cast<const Label*>(view.get())) {
    kept.fontSize = label->font.size;
    kept.textInsets = label->textInsets;
    kept.shadowOffset = label->shadowOffset;
  } else if (const auto* button = dynamic_cast<const Button*>(view.get())) {
    kept.fontSize = button->titleFont.size;
    const auto image = button->image();
    kept.imageSize = button->imageSize.value_or(
        image ? Size{static_cast<double>(image->width()), static_cast<double>(image->height())}
              : Size{});
  }
  views_.push_back(std::move(kept));
}

void ScaledLayout::apply(double scale) {
  for (const auto& [constraint, constant] : constraints_) constraint->setConstant(constant * scale);
  for (const auto& kept : views_) {
    kept.view->layer.cornerRadius = kept.cornerRadius * scale;
    kept.view->layer.borderWidth = kept.borderWidth * scale;
    if (auto* label = dynamic_cast<Label*>(kept.view.get())) {
      label->font.size = kept.fontSize * scale;
      const auto& insets = kept.textInsets;
      label->textInsets = {insets.top * scale, insets.left * scale, insets.bottom * scale,
                           insets.right * scale};
      label->shadowOffset = {kept.shadowOffset.width * scale, kept.shadowOffset.height * scale};
    } else if (auto* button = dynamic_cast<Button*>(kept.view.get())) {
      button->titleFont.size = kept.fontSize * scale;
      button->imageSize = Size{kept.imageSize.width * scale, kept.imageSize.height * scale};
    }
  }
}

}  // namespace zelvora
