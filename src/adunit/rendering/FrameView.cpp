#include "adunit/rendering/FrameView.h"

#include "adunit/rendering/Constraints.h"

namespace zelvora {
using namespace platform;

FrameView::FrameView() {
  translatesAutoresizingMaskIntoConstraints = false;
  backgroundColor = Color::white();
  clipsToBounds = true;
  layer.cornerRadius = 8;
  layer.borderColor = Color::darkGray();
  layer.borderWidth = 2;
}

void FrameView::setupSubView() {
  if (!subview) return;
  const auto self = shared_from_this();
  subview->translatesAutoresizingMaskIntoConstraints = false;
  constrain(subview, LayoutAttribute::leading, self, LayoutAttribute::leading, 5);
  constrain(subview, LayoutAttribute::trailing, self, LayoutAttribute::trailing, -5);
  constrain(subview, LayoutAttribute::top, self, LayoutAttribute::top, 5);
  constrain(subview, LayoutAttribute::bottom, self, LayoutAttribute::bottom, -5);
}

}  // namespace zelvora
