#include "adunit/types/InterstitialHouseBanner.h"

#include <utility>

#include "RESTClient.h"
#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "net/JsonReading.h"

namespace zelvora {
using namespace platform;

std::shared_ptr<InterstitialHouseBanner> InterstitialHouseBanner::self() {
  return std::static_pointer_cast<InterstitialHouseBanner>(shared_from_this());
}

void InterstitialHouseBanner::onPreloadFinished() {
  loadSucceeded();
  if (shouldShowAdAfterPreload) {
    // The host's view controller may be gone by now: then there is nothing to show over.
    if (auto presenter = rootPresentingVC.lock()) render(presenter);
  }
}

void InterstitialHouseBanner::loadFailed(ZelError reason, const std::string& message) {
  BannerAd::loadFailed(reason, message);
  // A showing asked for while the picture was on its way ends here.
  if (std::exchange(shouldShowAdAfterPreload, false))
    failToShow(ZelError::notReady, "the ad could not be loaded: " + message);
}

void InterstitialHouseBanner::render(
    const std::shared_ptr<ViewController>& presentingViewController) {
  // Already showing: nothing changes, so closing still returns to the screen it was shown over.
  if (isPresenting()) return;
  if (!presentingViewController) return;
  rootPresentingVC = presentingViewController;
  if (banner->isImageLoaded != true) {
    shouldShowAdAfterPreload = true;
    return;
  }
  if (!banner->image()) {
    decodeThenRender(presentingViewController);
    return;
  }
  auto controller = std::make_shared<InterstitialViewController>();
  shown_ = controller;
  closed_ = false;
  controller->delegate = self();
  auto container = AdContainerView::make(InterfaceOrientation::portrait);
  frame = FrameView::make();
  container->contentView->addSubview(frame);
  setContentConstraints(container->contentView);
  frame->subview = banner->imageView;
  frame->addSubview(banner->imageView);
  frame->setupSubView();
  banner->imageView->contentMode = ContentMode::scaleAspectFit;
  // The frame's border and inset around the picture, which takes the shape of the image.
  container->fitContentTo(banner->imageView, {10, 10});
  controller->setView(container);
  container->closeEventDelegate = self();
  banner->clickEventDelegate = self();
  controller->requestedOrientation = InterfaceOrientation::portrait;
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  controller->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  presentFirstScreen(presentingViewController, controller, [weak = std::weak_ptr<Ad>(self())] {
    if (auto ad = weak.lock()) ad->callImpBeacon();
  });
}

void InterstitialHouseBanner::decodeThenRender(const std::shared_ptr<ViewController>& presenter) {
  if (decodingForShow_) return;
  decodingForShow_ = true;
  banner->whenDecoded([weak = std::weak_ptr<InterstitialHouseBanner>(self()),
                       host = std::weak_ptr<ViewController>(presenter)](bool decoded) {
    auto ad = weak.lock();
    // Gone, or its showing ended with its backend meanwhile.
    if (!ad || !std::exchange(ad->decodingForShow_, false)) return;
    if (!decoded) {
      ad->failToShow(ZelError::notReady, "the ad's image no longer decodes");
      ad->loadFailed(ZelError::downloadFailed, "the image no longer decodes: " + ad->banner->url);
      return;
    }
    const auto presenter = host.lock();
    if (!presenter || !presenter->isOnScreen()) {
      ad->failToShow(ZelError::presenterNotOnScreen,
                     "the view controller to present the ad over is no longer on screen");
      return;
    }
    ad->render(presenter);
  });
}

void InterstitialHouseBanner::setContentConstraints(const std::shared_ptr<View>& contentView) {
  frame->translatesAutoresizingMaskIntoConstraints = false;
  constrain(frame, LayoutAttribute::leading, contentView, LayoutAttribute::leading, 0);
  constrain(frame, LayoutAttribute::trailing, contentView, LayoutAttribute::trailing, 0);
  constrain(frame, LayoutAttribute::top, contentView, LayoutAttribute::top, 0);
  constrain(frame, LayoutAttribute::bottom, contentView, LayoutAttribute::bottom, 0);
}

void InterstitialHouseBanner::onViewControllerDisappeared() {
  closed_ = true;
  BannerAd::onViewControllerDisappeared();
}

void InterstitialHouseBanner::showingLost() {
  // A showing waiting for its picture, or presented.
  if (std::exchange(shouldShowAdAfterPreload, false) || std::exchange(decodingForShow_, false))
    endLostShowing(false);
  if (!std::exchange(closed_, true)) endLostShowing(openTime.has_value());
}

void InterstitialHouseBanner::onBannerClicked() {
  callClickBeacon();
}

void InterstitialHouseBanner::callClickBeacon() {
  const auto url = asString(member(data(), "clk"));
  if (!url) return;
  RESTClient::callBeacon(*url);
  doRedirect(*url);
}

void InterstitialHouseBanner::onClose() {
  if (auto presenter = rootPresentingVC.lock()) presenter->dismiss(true);
}

}  // namespace zelvora
