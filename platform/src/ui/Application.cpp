#include "zelvora/platform/ui/Application.h"

#include <algorithm>

#include "zelvora/platform/Device.h"

namespace zelvora::platform {

Application& Application::shared() {
  static Application application;
  return application;
}

void Application::reset() {
  keyWindow_.reset();
  orientation_ = InterfaceOrientation::portrait;
  urlHandler_.reset();
  observers_.clear();
  resignObservers_.clear();
  active_ = true;
}

bool Application::rotate(InterfaceOrientation orientation) {
  if (orientation == InterfaceOrientation::unknown) return false;
  if (keyWindow_) {
    if (auto top = keyWindow_->topViewController();
        top && !top->supportedInterfaceOrientations().contains(orientation))
      return false;
  }
  orientation_ = orientation;
  if (keyWindow_) {
    const Rect screen = screen::bounds();
    if (keyWindow_->frame.size() != screen.size()) keyWindow_->resize(screen.size());
  }
  return true;
}

void Application::screenDidResize(Size size) {
  // The environment keeps the screen's portrait size; screen::bounds() turns it.
  HostEnvironment environment = hostEnvironment();
  environment.screenWidth = std::min(size.width, size.height);
  environment.screenHeight = std::max(size.width, size.height);
  setHostEnvironment(std::move(environment));
  const bool landscape = size.width > size.height;
  if (landscape != isLandscape(orientation_))
    orientation_ =
        landscape ? InterfaceOrientation::landscapeRight : InterfaceOrientation::portrait;
  if (keyWindow_ && keyWindow_->frame.size() != size) keyWindow_->resize(size);
}

bool Application::canOpenURL(const std::string& url) {
  return urlHandler_ && urlHandler_->canOpen(url);
}

void Application::open(const std::string& url) {
  if (urlHandler_) urlHandler_->open(url);
}

Application::ObserverToken Application::addDidBecomeActiveObserver(std::function<void()> observer) {
  const ObserverToken token = nextToken_++;
  observers_.emplace(token, std::move(observer));
  return token;
}

Application::ObserverToken Application::addWillResignActiveObserver(
    std::function<void()> observer) {
  const ObserverToken token = nextToken_++;
  resignObservers_.emplace(token, std::move(observer));
  return token;
}

void Application::removeObserver(ObserverToken token) {
  observers_.erase(token);
  resignObservers_.erase(token);
}

namespace {
void notify(const std::map<Application::ObserverToken, std::function<void()>>& live) {
  // Copy: an observer may remove itself or others.
  const auto observers = live;
  for (const auto& [token, observer] : observers) {
    if (live.count(token)) observer();
  }
}
}  // namespace

void Application::postDidBecomeActive() {
  active_ = true;
  notify(observers_);
}

void Application::postWillResignActive() {
  active_ = false;
  notify(resignObservers_);
}

}  // namespace zelvora::platform
