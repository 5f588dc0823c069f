#include "adunit/types/InterstitialHouseVideo.h"

#include <utility>

#include "RESTClient.h"
#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "net/JsonReading.h"
#include "util/Time.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {
using namespace platform;

std::shared_ptr<InterstitialHouseVideo> InterstitialHouseVideo::self() {
  return std::static_pointer_cast<InterstitialHouseVideo>(shared_from_this());
}

void InterstitialHouseVideo::render(
    const std::shared_ptr<ViewController>& presentingViewController) {
  if (!presentingViewController || isPresenting()) return;
  if (!isLoaded) {
    failToShow(ZelError::notReady, "the video is not loaded yet");
    return;
  }
  rootPresentingVC = presentingViewController;
  ++showingNumber_;
  auto controller = videoPlayer->initPlayerController();
  playerVC = controller;
  closed_ = false;
  playerBuilt();
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  presentFirstScreen(presentingViewController, controller, [weak = std::weak_ptr<Ad>(self())] {
    auto ad = std::static_pointer_cast<InterstitialHouseVideo>(weak.lock());
    if (!ad) return;
    ad->openTime = monotonicTime();
    if (ad->videoPlayer->player) {
      if (ad->videoPlayer->playerController) ad->videoPlayer->showLoadingIndicator();
      ad->videoPlayer->player->play();
    }
    ad->showing_ = true;
    ad->callImpBeacon();
  });
}

void InterstitialHouseVideo::onVideoEnded() {
  showLandingCard();
}

void InterstitialHouseVideo::onVideoSkipped() {
  showLandingCard();
}

void InterstitialHouseVideo::onRedirectClicked() {
  callClickBeacon();
}

void InterstitialHouseVideo::onBannerClicked() {
  callClickBeacon();
}

void InterstitialHouseVideo::onClose() {
  if (auto root = rootPresentingVC.lock()) root->dismiss(true);
}

void InterstitialHouseVideo::showLandingCard() {
  auto root = rootPresentingVC.lock();
  if (!root) return;  // the host's screen is gone: nothing to return to
  const auto card = landingCardView();
  if (!card) {
    callDisplayTimeBeacon(monotonicTime());
    root->dismiss(true, finishingThisShowing());
    return;
  }
  auto player = playerVC.lock();
  if (!player) return;  // the card is shown over the player, which is gone
  auto controller = std::make_shared<InterstitialViewController>();
  controller->presentingVC = player;
  controller->delegate = self();
  auto container = AdContainerView::make(Application::shared().statusBarOrientation());
  card->accessibilityLabel = "Get Application";
  container->contentView->addSubview(card);
  placeLandingCard(card, *container);
  controller->setView(container);
  container->closeEventDelegate = self();
  if (landingCard) landingCard->clickEventDelegate = self();
  controller->requestedOrientation = InterfaceOrientation::landscapeLeft;
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  player->present(controller, true, [] {});
}

void InterstitialHouseVideo::dismissPresented() {
  auto root = rootPresentingVC.lock();
  // A click-through page of a showing that ended acts on no later one.
  if (!root || !showing_) return;
  root->dismiss(false, finishingThisShowing());
}

std::function<void()> InterstitialHouseVideo::finishingThisShowing() {
  // A dismissal asked for late in one showing may complete in the next (when what it was
  // asked to dismiss had gone already): it must not end that one.
  return [weak = std::weak_ptr<InterstitialHouseVideo>(self()), number = showingNumber_] {
    auto ad = weak.lock();
    if (ad && ad->showingNumber_ == number) ad->finishShowing();
  };
}

void InterstitialHouseVideo::finishShowing() {
  // Once per showing: a dismissal's late completion must not end the next one.
  if (!std::exchange(showing_, false)) return;
  closed_ = true;
  callDisplayTimeBeacon(monotonicTime());
  trigger(Event::adClose);
}

void InterstitialHouseVideo::showingLost() {
  if (std::exchange(closed_, true)) return;
  endLostShowing(std::exchange(showing_, false));
}

void InterstitialHouseVideo::placeLandingCard(const std::shared_ptr<View>& card,
                                              AdContainerView& container) {
  const auto& contentView = container.contentView;
  card->translatesAutoresizingMaskIntoConstraints = false;
  if (auto picture = std::dynamic_pointer_cast<ImageView>(card)) {
    // A picture takes the window: the content is its shape, as large as fits.
    picture->contentMode = ContentMode::scaleAspectFit;
    for (auto edge : {LayoutAttribute::leading, LayoutAttribute::trailing, LayoutAttribute::top,
                      LayoutAttribute::bottom})
      constrain(card, edge, contentView, edge, 0);
    container.fitContentTo(card);
    return;
  }
  // A page keeps the size it was made for, in the middle.
  constrain(card, LayoutAttribute::centerX, contentView, LayoutAttribute::centerX, 0);
  constrain(card, LayoutAttribute::centerY, contentView, LayoutAttribute::centerY, 0);
}

void InterstitialHouseVideo::callClickBeacon() {
  const auto url = asString(member(data(), "clk"));
  if (!url) return;
  RESTClient::callBeacon(*url);
  doRedirect(*url);
}

}  // namespace zelvora
