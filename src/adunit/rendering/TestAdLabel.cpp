#include "adunit/rendering/TestAdLabel.h"

#include "adunit/rendering/Constraints.h"
#include "tools/ColorExtension.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora {
using namespace platform;

namespace {
/// From the corner's edges, or from the control beside it, at a phone's size.
constexpr double kMargin = 8;
}  // namespace

void addTestAdLabel(const std::shared_ptr<View>& parent, const std::shared_ptr<View>& corner,
                    ScaledLayout& layout, const std::shared_ptr<View>& after) {
  if (!ZelController::sharedInstance().adSettings().testMode) return;
  auto label = Label::make();
  label->text = "Test ad";
  label->accessibilityIdentifier = "test-ad";
  label->accessibilityLabel = "Test ad";
  // Dark on yellow, with a dark edge: it stands out on light and dark creatives alike.
  label->font = Font{"HelveticaNeue-Bold", 12, true};
  label->textColor = Color::black();
  label->backgroundColor = colorFromHex("FFD600", 1);
  label->layer.borderColor = Color::black();
  label->layer.borderWidth = 1;
  label->layer.cornerRadius = 4;
  label->textInsets = {2, 6, 2, 6};
  label->isUserInteractionEnabled = false;
  label->translatesAutoresizingMaskIntoConstraints = false;
  parent->addSubview(label);
  layout.add(label);
  if (after) {
    layout.add(
        constrain(label, LayoutAttribute::leading, after, LayoutAttribute::trailing, kMargin));
    constrain(label, LayoutAttribute::bottom, after, LayoutAttribute::bottom, 0);
  } else {
    layout.add(
        constrain(label, LayoutAttribute::leading, corner, LayoutAttribute::leading, kMargin));
    layout.add(
        constrain(label, LayoutAttribute::bottom, corner, LayoutAttribute::bottom, -kMargin));
  }
}

}  // namespace zelvora
