#include "adunit/rendering/AdContainerView.h"

#include "adunit/rendering/Constraints.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora {
using namespace platform;

std::shared_ptr<AdContainerView> AdContainerView::make(InterfaceOrientation currentOrientation) {
  auto container = std::make_shared<AdContainerView>();
  auto window = Application::shared().keyWindow();
  container->frame = window ? window->bounds() : screen::bounds();
  container->clipsToBounds = true;
  container->backgroundColor = Color::black().withAlpha(0.4);
  container->currentOrientation = currentOrientation;
  container->setupContentView();
  return container;
}

void AdContainerView::setupContentView() {
  const double size = closeButtonSize;
  contentView = View::make();
  contentView->clipsToBounds = true;
  contentView->translatesAutoresizingMaskIntoConstraints = false;
  addSubview(contentView);
  const auto self = shared_from_this();
  const bool portrait = currentOrientation && isPortrait(*currentOrientation);
  constrain(contentView, LayoutAttribute::leading, self, LayoutAttribute::leading, size * 0.5);
  constrain(contentView, LayoutAttribute::trailing, self, LayoutAttribute::trailing, -size * 0.5);
  constrain(contentView, LayoutAttribute::top, self, LayoutAttribute::top,
            portrait ? size : size * 0.5);
  constrain(contentView, LayoutAttribute::bottom, self, LayoutAttribute::bottom, -size);

  setupCloseButton();
  addSubview(closeButton);
  // Escape closes as the button does, and only while a person could tap it.
  accessibilityPerformEscape = tapLater(closeButton);
  constrain(closeButton, LayoutAttribute::top, contentView, LayoutAttribute::top, -size * 0.5);
  constrain(closeButton, LayoutAttribute::trailing, contentView, LayoutAttribute::trailing,
            size * 0.5);
}

void AdContainerView::setupCloseButton() {
  const double size = closeButtonSize;
  closeButton = Button::make(ButtonType::system);
  closeButton->translatesAutoresizingMaskIntoConstraints = false;
  closeButton->backgroundColor = Color::black();
  closeButton->layer.borderColor = Color::white();
  closeButton->layer.borderWidth = 2;
  closeButton->layer.cornerRadius = size * 0.5;
  closeButton->setTitle("X", ControlState::normal);
  closeButton->setTitleColor(Color::white(), ControlState::normal);
  closeButton->accessibilityIdentifier = "close";
  closeButton->accessibilityLabel = "Close ad";
  constrainSize(closeButton, LayoutAttribute::width, size);
  constrainSize(closeButton, LayoutAttribute::height, size);
  closeButton->addTarget(std::static_pointer_cast<AdContainerView>(shared_from_this()),
                         &AdContainerView::dismissView, ControlEvent::touchUpInside);
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
