#include "zelvora/platform/ui/ViewController.h"

#include "zelvora/Log.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform {

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) view_ = View::make();
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  view_ = std::move(view);
}

void ViewController::loadView() {
  auto window = Application::shared().keyWindow();
  view_ = View::make(window ? window->bounds() : Rect{});
}

bool ViewController::isOnScreen() const {
  return onScreen_;
}

void ViewController::present(const std::shared_ptr<ViewController>& viewController, bool animated,
                             std::function<void()> completion) {
  auto window = Application::shared().keyWindow();
  if (!window || !viewController) {
    log(LogLevel::warning, "present: no key window");
    return;
  }
  window->present(shared_from_this(), viewController, animated, std::move(completion));
}

void ViewController::dismiss(bool animated, std::function<void()> completion) {
  auto window = Application::shared().keyWindow();
  if (!window) return;
  if (presented_) {
    window->dismiss(shared_from_this(), animated, std::move(completion));
  } else if (auto presenter = presentingViewController()) {
    window->dismiss(presenter, animated, std::move(completion));
  } else if (!onScreen_) {
    presentationWithdrawn_ = true;
  }
}

}  // namespace zelvora::platform
