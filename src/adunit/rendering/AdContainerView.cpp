#include "adunit/rendering/AdContainerView.h"

#include <algorithm>

#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/InterfaceScale.h"
#include "adunit/rendering/TestAdLabel.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora {
using namespace platform;

namespace {
/// Raster content is scaled up at most this much: beyond it the picture turns soft.
constexpr double kMaxUpscale = 2;
}  // namespace

std::shared_ptr<AdContainerView> AdContainerView::make(InterfaceOrientation currentOrientation) {
  auto container = std::make_shared<AdContainerView>();
  auto window = Application::shared().keyWindow();
  container->frame = window ? window->bounds() : screen::bounds();
  container->clipsToBounds = true;
  container->backgroundColor = Color::black().withAlpha(0.4);
  container->currentOrientation = currentOrientation;
  container->setupContentView();
  container->updateLayout();
  return container;
}

void AdContainerView::setupContentView() {
  contentView = View::make();
  contentView->clipsToBounds = true;
  contentView->translatesAutoresizingMaskIntoConstraints = false;
  addSubview(contentView);
  const auto self = shared_from_this();
  // The constants follow the container's size (updateLayout).
  contentLeft_ =
      constrain(contentView, LayoutAttribute::leading, self, LayoutAttribute::leading, 0);
  contentTop_ = constrain(contentView, LayoutAttribute::top, self, LayoutAttribute::top, 0);
  contentWidth_ = constrainSize(contentView, LayoutAttribute::width, 0);
  contentHeight_ = constrainSize(contentView, LayoutAttribute::height, 0);
  addTestAdLabel(self, contentView, testAdLayout_);

  setupCloseButton();
  addSubview(closeButton);
  // Escape closes as the button does, and only while a person could tap it.
  accessibilityPerformEscape = tapLater(closeButton);
  closeTop_ = constrain(closeButton, LayoutAttribute::top, contentView, LayoutAttribute::top, 0);
  closeTrailing_ =
      constrain(closeButton, LayoutAttribute::trailing, contentView, LayoutAttribute::trailing, 0);
}

void AdContainerView::setupCloseButton() {
  closeButton = Button::make(ButtonType::system);
  closeButton->translatesAutoresizingMaskIntoConstraints = false;
  closeButton->backgroundColor = Color::black();
  closeButton->layer.borderColor = Color::white();
  closeButton->layer.borderWidth = 2;
  closeButton->setTitle("X", ControlState::normal);
  closeButton->setTitleColor(Color::white(), ControlState::normal);
  closeButton->accessibilityIdentifier = "close";
  closeButton->accessibilityLabel = "Close ad";
  titleSize_ = closeButton->titleFont.size;
  closeWidth_ = constrainSize(closeButton, LayoutAttribute::width, 0);
  closeHeight_ = constrainSize(closeButton, LayoutAttribute::height, 0);
  closeButton->addTarget(std::static_pointer_cast<AdContainerView>(shared_from_this()),
                         &AdContainerView::dismissView, ControlEvent::touchUpInside);
}

void AdContainerView::fitContentTo(const std::shared_ptr<View>& content, Size padding) {
  fitted_ = content;
  padding_ = padding;
  updateLayout();
}

void AdContainerView::updateLayout() {
  const Size size = bounds().size();
  const double scale = interfaceScale(size);
  const double button = closeButtonSize * scale;
  const bool portrait = currentOrientation && isPortrait(*currentOrientation);
  // Half a button at the sides, a button below, and a button or half of one above: the close
  // button, centred on the content's corner, stays inside the container.
  const double top = portrait ? button : button * 0.5;
  const Rect room{button * 0.5, top, std::max(0.0, size.width - button),
                  std::max(0.0, size.height - top - button)};
  Size content = room.size();
  const auto fitted = fitted_.lock();
  if (const auto natural = fitted ? fitted->intrinsicContentSize() : std::nullopt;
      natural && natural->width > 0 && natural->height > 0) {
    const double factor = std::clamp(std::min((room.width - padding_.width) / natural->width,
                                              (room.height - padding_.height) / natural->height),
                                     0.0, kMaxUpscale);
    content = {natural->width * factor + padding_.width,
               natural->height * factor + padding_.height};
  }
  contentLeft_->setConstant(room.x + (room.width - content.width) / 2);
  contentTop_->setConstant(room.y + (room.height - content.height) / 2);
  contentWidth_->setConstant(content.width);
  contentHeight_->setConstant(content.height);
  closeWidth_->setConstant(button);
  closeHeight_->setConstant(button);
  closeTop_->setConstant(-button * 0.5);
  closeTrailing_->setConstant(button * 0.5);
  closeButton->layer.cornerRadius = button * 0.5;
  closeButton->layer.borderWidth = 2 * scale;
  closeButton->titleFont.size = titleSize_ * scale;
  testAdLayout_.apply(scale);
  overViews_.apply(scale);
}

void AdContainerView::scaleWithContainer(ScaledLayout layout) {
  layout.apply(interfaceScale(bounds().size()));
  overViews_ = std::move(layout);
}

int AdContainerView::getContentWidth() const {
  return static_cast<int>(contentView->bounds().width);
}
int AdContainerView::getContentHeight() const {
  return static_cast<int>(contentView->bounds().height);
}
int AdContainerView::getContentXPosition() const {
  return static_cast<int>(contentView->frame.x);
}
int AdContainerView::getContentYPosition() const {
  return static_cast<int>(contentView->frame.y);
}

void AdContainerView::dismissView() {
  if (auto delegate = closeEventDelegate.lock()) delegate->onClose();
}

}  // namespace zelvora
