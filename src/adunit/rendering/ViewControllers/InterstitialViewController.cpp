#include "adunit/rendering/ViewControllers/InterstitialViewController.h"

#include "adunit/rendering/AdContainerView.h"

namespace zelvora {
using namespace platform;

void InterstitialViewController::presentSelf() {
  if (auto presenter = presentingVC.lock()) presenter->present(shared_from_this(), true, [] {});
}

OrientationMask InterstitialViewController::supportedInterfaceOrientations() const {
  if (!requestedOrientation) return OrientationMask::all();
  switch (*requestedOrientation) {
    case InterfaceOrientation::portrait:
      return OrientationMask::portraitOnly();
    case InterfaceOrientation::landscapeLeft:
    case InterfaceOrientation::landscapeRight:
      return OrientationMask::landscape();
    case InterfaceOrientation::portraitUpsideDown:
    case InterfaceOrientation::unknown:
      break;
  }
  return OrientationMask::all();
}

void InterstitialViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  if (auto events = delegate.lock()) events->onViewControllerAppeared();
}

void InterstitialViewController::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  if (auto events = delegate.lock()) events->onViewControllerDisappeared();
}

void InterstitialViewController::viewWillTransition(Size) {
  orientationChanged = true;
}

void InterstitialViewController::viewWillLayoutSubviews() {
  if (auto container = std::dynamic_pointer_cast<AdContainerView>(view()))
    container->updateLayout();
}

void InterstitialViewController::viewDidLayoutSubviews() {
  auto events = delegate.lock();
  if (!events) return;
  if (orientationChanged) events->onViewControllerSizeChanged();
  events->onViewControllerLaidOut();
}

}  // namespace zelvora
