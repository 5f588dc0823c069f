#include <cmath>

#include "text/TextLayout.h"

#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora::platform {

bool OrientationMask::contains(InterfaceOrientation orientation) const {
  switch (orientation) {
    case InterfaceOrientation::portrait:
      return portrait;
    case InterfaceOrientation::portraitUpsideDown:
      return portraitUpsideDown;
    case InterfaceOrientation::landscapeLeft:
      return landscapeLeft;
    case InterfaceOrientation::landscapeRight:
      return landscapeRight;
    case InterfaceOrientation::unknown:
      break;
  }
  return false;
}

Size measureText(const std::string& text, const Font& font) {
  const auto layout = text::layoutLine(text, font);
  if (!layout) return {0, 0};
  const Size size = text::logicalSize(layout.get());
  return {std::ceil(size.width), std::ceil(size.height)};
}

std::optional<Size> Label::intrinsicContentSize() const {
  const Size size = measureText(text, font);
  return Size{size.width + textInsets.left + textInsets.right,
              size.height + textInsets.top + textInsets.bottom};
}

void Label::sizeToFit() {
  const Size size = *intrinsicContentSize();
  frame.width = size.width;
  frame.height = size.height;
}

std::string Button::title(ControlState state) const {
  auto it = titles_.find(state);
  if (it == titles_.end()) it = titles_.find(ControlState::normal);
  return it == titles_.end() ? "" : it->second;
}

Color Button::titleColor(ControlState state) const {
  auto it = titleColors_.find(state);
  if (it == titleColors_.end()) it = titleColors_.find(ControlState::normal);
  if (it != titleColors_.end()) return it->second;
  // A system button's title takes the tint colour.
  return buttonType == ButtonType::system ? Color{0, 0.48, 1, 1} : Color::white();
}

std::shared_ptr<Image> Button::image(ControlState state) const {
  auto it = images_.find(state);
  if (it == images_.end()) it = images_.find(ControlState::normal);
  return it == images_.end() ? nullptr : it->second;
}

void Button::sendActions(ControlEvent event) {
  if (!isEnabled) return;
  // Copy: an action may add targets or release this button.
  const auto actions = actions_;
  for (const auto& [registered, action] : actions) {
    if (registered == event) action();
  }
}

std::optional<Size> Button::intrinsicContentSize() const {
  Size size = measureText(title(), titleFont);
  if (auto picture = image()) {
    const Size shown = imageSize.value_or(
        Size{static_cast<double>(picture->width()), static_cast<double>(picture->height())});
    size.width += shown.width;
    size.height = std::max(size.height, shown.height);
  }
  return Size{size.width + 12, std::max(size.height + 12, 30.0)};
}

std::optional<Size> ImageView::intrinsicContentSize() const {
  if (!image) return Size{0, 0};
  return Size{static_cast<double>(image->width()), static_cast<double>(image->height())};
}

std::string ImageView::describeContent() const {
  if (!image) return "no image";
  return std::to_string(image->width()) + "x" + std::to_string(image->height()) + " image";
}

}  // namespace zelvora::platform
