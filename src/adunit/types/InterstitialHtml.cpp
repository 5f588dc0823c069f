#include "adunit/types/InterstitialHtml.h"

#include <utility>

#include "adunit/rendering/Constraints.h"
#include "adunit/types/mraid/MraidConstants.h"
#include "util/Time.h"
#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
using namespace platform;

bool InterstitialHtml::canRender() {
  // Being presented or on screen: building it again would take that interstitial's views away.
  if (interstitialVC) return false;
  const std::string placement = placementId.value_or("");
  if (mraid() && !pageReady()) {
    if (!fallbackTriggered()) {
      log(LogLevel::warning, "MRAID html ad is not ready yet in placement " + placement);
      failToShow(ZelError::notReady, "the creative's page is still loading");
    } else {
      log(LogLevel::warning, "Mraid html ad has no fill in placement " + placement);
      failToShow(ZelError::noFill, "the creative has no fill");
    }
    return false;
  }
  if (!mraid() && !markup()) {
    log(LogLevel::warning, "HTML ad has no markup in placement " + placement);
    failToShow(ZelError::noFill, "the ad has no markup");
    return false;
  }
  return true;
}

void InterstitialHtml::render(const std::shared_ptr<ViewController>& presentingViewController) {
  if (!presentingViewController || !canRender()) return;
  rootPresentingVC = presentingViewController;
  auto controller = std::make_shared<InterstitialViewController>();
  controller->presentingVC = presentingViewController;
  if (mraid()) {
    // A creative that asked for an orientation while it loaded is told its sizes in it.
    controller->requestedOrientation = orientationLock();
    turnTheInterfaceFor(*controller);
  }
  container = AdContainerView::make(InterfaceOrientation::portrait);
  frame = FrameView::make();
  container->contentView->addSubview(frame);
  setContentConstraints();
  if (!mraid()) {
    configureWebView();
    webView->loadMarkup(*markup());
    giveUpUnlessPresentedIn(kPageLoadDeadline, controller);
  }
  frame->subview = webView;
  frame->addSubview(webView);
  frame->setupSubView();
  controller->setView(container);
  container->closeEventDelegate = std::static_pointer_cast<InterstitialHtml>(self());
  controller->modalTransitionStyle = ModalTransitionStyle::flipHorizontal;
  controller->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  interstitialVC = controller;
  controller->delegate = self();
  if (mraid()) {
    presentMraid(controller);
    giveUpUnlessPresentedIn(kMraidAnswerDeadline, controller);
  }
}

void InterstitialHtml::presentMraid(const std::shared_ptr<InterstitialViewController>& controller) {
  // The page measures the container as it will appear.
  container->layoutIfNeeded();
  auto data = createPresentationData();
  notePresentationTold();
  webView->evaluateJavaScript(
      std::move(data),
      [weak = std::weak_ptr<HtmlAd>(self()),
       shown = std::weak_ptr<InterstitialViewController>(controller)](const JavaScriptResult&) {
        auto ad = weak.lock();
        auto controller = shown.lock();
        // Closed or shown anew before the page took the data in: nothing to present.
        if (!ad || !controller || ad->interstitialVC != controller) return;
        ad->setViewable(true);
        ad->setContainerState(Mraid::containerDefaultState);
        ad->triggerEvent(Mraid::readyEvent, {});
        ad->presentFirstScreen(controller->presentingVC.lock(), controller);
      });
}

void InterstitialHtml::giveUpUnlessPresentedIn(
    double seconds, const std::shared_ptr<InterstitialViewController>& controller) {
  mainQueue().postAfter(
      seconds,
      [weak = std::weak_ptr<InterstitialHtml>(std::static_pointer_cast<InterstitialHtml>(self())),
       pending = std::weak_ptr<InterstitialViewController>(controller)] {
        auto ad = weak.lock();
        auto controller = pending.lock();
        // Presented (or on its way: the opening transition has begun), closed, or shown anew.
        if (!ad || !controller || ad->interstitialVC != controller ||
            controller->presentingViewController())
          return;
        const std::string why = ad->mraid() ? "the creative's page did not answer in time"
                                            : "the page did not load in time";
        log(LogLevel::warning, "HTML ad: " + why + " in placement " + ad->placementId.value_or(""));
        if (ad->mraid()) ad->runApart();
        ad->blankPage();
        ad->endShowing(ZelError::pageUnresponsive, why);
      });
}

void InterstitialHtml::setContentConstraints() {
  const auto& content = container->contentView;
  frame->translatesAutoresizingMaskIntoConstraints = false;
  constrain(frame, LayoutAttribute::leading, content, LayoutAttribute::leading, 0);
  constrain(frame, LayoutAttribute::trailing, content, LayoutAttribute::trailing, 0);
  constrain(frame, LayoutAttribute::top, content, LayoutAttribute::top, 0);
  constrain(frame, LayoutAttribute::bottom, content, LayoutAttribute::bottom, 0);
}

void InterstitialHtml::onWebViewFinishedToLoad() {
  if (mraid()) {
    HtmlAd::onWebViewFinishedToLoad();
  } else if (interstitialVC) {
    presentFirstScreen(interstitialVC->presentingVC.lock(), interstitialVC);
  }
}

void InterstitialHtml::onViewControllerAppeared() {
  // A showing given up during its opening transition comes to nothing.
  if (!interstitialVC) return;
  onScreen = true;
  if (!openTime) openTime = monotonicTime();
  callImpBeacon();
  if (!mraid()) return;
  observeTheApplication(true);
  updateExposure();
}

void InterstitialHtml::onViewControllerDisappeared() {
  const bool appeared = std::exchange(onScreen, false);
  observeTheApplication(false);
  const bool dismissedByOthers = interstitialVC != nullptr;
  interstitialVC.reset();
  if (!appeared) {
    // Taken away before it appeared (closeAd has reported its own such cases).
    if (!dismissedByOthers) return;
    failToShow(ZelError::interrupted, "the ad was taken off the screen before it appeared");
    if (mraid()) reloadMraidContent();
    return;
  }
  if (mraid()) reloadMraidContent();
  callDisplayTimeBeacon(monotonicTime());
  trigger(Event::adClose);
}

void InterstitialHtml::showingLost() {
  if (!interstitialVC) return;
  interstitialVC.reset();
  observeTheApplication(false);
  endLostShowing(std::exchange(onScreen, false));
}

void InterstitialHtml::onViewControllerSizeChanged() {
  if (mraid() && interstitialVC) updatePresentationData();
}

void InterstitialHtml::onViewControllerLaidOut() {
  // Something may have come over the ad, or gone.
  if (mraid() && interstitialVC) updatePresentationData();
}

void InterstitialHtml::onClose() {
  if (mraid()) {
    setViewable(false);
    setContainerState(Mraid::containerHiddenState);
  }
  closeAd();
}

}  // namespace zelvora
