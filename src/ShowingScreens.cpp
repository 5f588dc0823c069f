#include "ShowingScreens.h"

#include <utility>

#include "ControllerAccess.h"
#include "EventReasons.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {
using namespace platform;

ShowingScreens::~ShowingScreens() {
  unwatch();
}

void ShowingScreens::expect(const std::string& placementId,
                            const std::shared_ptr<ViewController>& presenter) {
  expected_ = Showing{placementId, presenter};
  if (auto window = Application::shared().keyWindow(); window != window_.lock()) watch(window);
}

void ShowingScreens::backendStarted() {
  unwatch();
  expected_.reset();
  if (presented_) dismissed_ = std::exchange(presented_, std::nullopt)->placementId;
  tellDismissed();
}

void ShowingScreens::watch(const std::shared_ptr<Window>& window) {
  unwatch();
  if (!window) return;
  window_ = window;
  const std::weak_ptr<ShowingScreens> weak = weak_from_this();
  presentationToken_ = window->addPresentationObserver([weak](const auto& presenter) {
    if (auto self = weak.lock()) self->presentationBegins(presenter);
  });
  stackToken_ = window->addStackObserver([weak] {
    if (auto self = weak.lock()) self->stackChanged();
  });
}

void ShowingScreens::unwatch() {
  if (auto window = window_.lock()) {
    window->removePresentationObserver(presentationToken_);
    window->removeStackObserver(stackToken_);
  }
  window_.reset();
}

void ShowingScreens::presentationBegins(const std::shared_ptr<ViewController>& presenter) {
  if (!expected_ || expected_->presenter.lock() != presenter) return;
  // A showing started from the last one's onAdClose comes after that one's end.
  tellDismissed();
  presented_ = std::exchange(expected_, std::nullopt);
  reportWillPresentScreen(presented_->placementId);
}

void ShowingScreens::stackChanged() {
  if (!presented_) return;
  const auto presenter = presented_->presenter.lock();
  if (presenter && presenter->presentedViewController()) return;
  dismissed_ = presented_->placementId;
  presented_.reset();
  // After the dismissal's completion, which may be what closes the ad.
  mainQueue().post([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->tellDismissed();
  });
}

void ShowingScreens::tellDismissed() {
  if (!dismissed_) return;
  const std::string placementId = *std::exchange(dismissed_, std::nullopt);
  reportDidDismissScreen(placementId);
  internal::ControllerAccess::showingEnded();
}

}  // namespace zelvora
