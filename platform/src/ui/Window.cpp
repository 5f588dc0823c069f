#include "zelvora/platform/ui/Window.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform {

void Window::setRootViewController(const std::shared_ptr<ViewController>& viewController) {
  if (root_) {
    root_->onScreen_ = false;
    if (root_->isViewLoaded()) root_->view()->removeFromSuperview();
  }
  root_ = viewController;
  if (!root_) return;
  root_->onScreen_ = true;
  auto view = root_->view();
  addSubview(view);
  root_->viewWillAppear(false);
  layout();
  root_->viewDidAppear(false);
  stackChanged();
}

std::vector<std::shared_ptr<ViewController>> Window::viewControllerStack() const {
  std::vector<std::shared_ptr<ViewController>> stack;
  for (auto controller = root_; controller; controller = controller->presentedViewController())
    stack.push_back(controller);
  return stack;
}

std::shared_ptr<ViewController> Window::topViewController() const {
  auto stack = viewControllerStack();
  return stack.empty() ? nullptr : stack.back();
}

void Window::layout() {
  for (const auto& controller : viewControllerStack()) {
    auto view = controller->view();
    view->translatesAutoresizingMaskIntoConstraints = true;
    view->frame = bounds();
    // What it changes is laid out by the pass below, not by another one.
    layingOut_ = true;
    controller->viewWillLayoutSubviews();
    layingOut_ = false;
    view->layoutIfNeeded();
    controller->viewDidLayoutSubviews();
  }
}

void Window::resize(Size size) {
  frame.width = size.width;
  frame.height = size.height;
  for (const auto& controller : viewControllerStack()) controller->viewWillTransition(size);
  layout();
}

void Window::setNeedsLayout() {
  if (layingOut_ || layoutScheduled_ || !hasMainQueue()) return;
  layoutScheduled_ = true;
  mainQueue().post([weak = weak_from_this()] {
    auto self = std::static_pointer_cast<Window>(weak.lock());
    if (!self) return;
    self->layoutScheduled_ = false;
    self->layout();
  });
}

void Window::enqueue(std::function<void()> operation) {
  if (transitioning_) {
    pending_.push_back(std::move(operation));
  } else {
    operation();
  }
}

void Window::finishTransition(bool animated, std::function<void()> then) {
  auto finish = [weak = weak_from_this(), then = std::move(then)] {
    auto self = std::static_pointer_cast<Window>(weak.lock());
    if (!self) return;
    self->transitioning_ = false;
    then();
    // Start what was asked for during the transition, in order.
    while (!self->transitioning_ && !self->pending_.empty()) {
      auto next = std::move(self->pending_.front());
      self->pending_.erase(self->pending_.begin());
      next();
    }
  };
  if (animated) {
    mainQueue().postAfter(ViewController::transitionDuration, std::move(finish));
  } else {
    mainQueue().post(std::move(finish));
  }
}

void Window::turnToSupportedOrientation(const ViewController& presented) {
  auto& application = Application::shared();
  const OrientationMask supported = presented.supportedInterfaceOrientations();
  if (supported.contains(application.statusBarOrientation())) return;
  for (auto orientation :
       {InterfaceOrientation::portrait, InterfaceOrientation::landscapeRight,
        InterfaceOrientation::landscapeLeft, InterfaceOrientation::portraitUpsideDown}) {
    if (supported.contains(orientation) && application.rotate(orientation)) return;
  }
}

void Window::present(const std::shared_ptr<ViewController>& presenter,
                     const std::shared_ptr<ViewController>& presented, bool animated,
                     std::function<void()> completion) {
  presented->presentationWithdrawn_ = false;
  enqueue([this, presenter, presented, animated, completion = std::move(completion)] {
    if (std::exchange(presented->presentationWithdrawn_, false)) return;
    if (!presenter->isOnScreen() || presenter->presented_ || presented->isOnScreen()) {
      log(LogLevel::warning,
          "present: ignored, the presenter is not on screen or already presents a view "
          "controller");
      return;
    }
    const auto observers = presentationObservers_;
    for (const auto& [token, observer] : observers) {
      if (presentationObservers_.count(token)) observer(presenter);
    }
    transitioning_ = true;
    presenter->presented_ = presented;
    presented->presenting_ = presenter;
    presented->onScreen_ = true;
    addSubview(presented->view());
    stackChanged();
    turnToSupportedOrientation(*presented);
    const bool covers = presented->modalPresentationStyle == ModalPresentationStyle::fullScreen;
    if (covers) presenter->viewWillDisappear(animated);
    presented->viewWillAppear(animated);
    layout();
    finishTransition(animated, [presenter, presented, animated, covers, completion] {
      if (covers) presenter->viewDidDisappear(animated);
      presented->viewDidAppear(animated);
      if (completion) completion();
    });
  });
}

void Window::dismiss(const std::shared_ptr<ViewController>& presenter, bool animated,
                     std::function<void()> completion) {
  // What is above the presenter now leaves once a transition under way ends: meanwhile it can
  // present nothing (what it was asked to present would be dropped with it).
  for (auto controller = presenter->presented_; controller; controller = controller->presented_)
    controller->beingDismissed_ = true;
  // Only what is up now leaves: a screen presented meanwhile (the next showing, queued behind
  // a transition) is not this dismissal's.
  const std::weak_ptr<ViewController> asked = presenter->presented_;
  enqueue([this, presenter, animated, asked, completion = std::move(completion)] {
    if (presenter->presented_ != asked.lock()) {
      if (completion) completion();
      return;
    }
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto controller = presenter->presented_; controller;
         controller = controller->presentedViewController())
      chain.push_back(controller);
    if (chain.empty()) {
      if (completion) completion();
      return;
    }
    transitioning_ = true;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      (*it)->beingDismissed_ = true;
      (*it)->viewWillDisappear(animated);
    }
    const bool covered =
        chain.front()->modalPresentationStyle == ModalPresentationStyle::fullScreen;
    if (covered) presenter->viewWillAppear(animated);
    // `then` runs only while the window lives.
    finishTransition(animated, [this, presenter, chain, animated, covered, completion] {
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const auto& controller = *it;
        controller->view()->removeFromSuperview();
        controller->onScreen_ = false;
        controller->beingDismissed_ = false;
        controller->presented_.reset();
        controller->presenting_.reset();
        controller->viewDidDisappear(animated);
      }
      presenter->presented_.reset();
      stackChanged();
      // What lay beneath is uncovered: its screens lay out again, as after any change.
      setNeedsLayout();
      if (covered) presenter->viewDidAppear(animated);
      if (completion) completion();
    });
  });
}

void Window::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  const double now = hasMainQueue() ? mainQueue().now() : 0;
  if (!visible) {
    hidden_.push_back({now, std::nullopt});
  } else if (!hidden_.empty()) {
    hidden_.back().to = now;
  }
  // Copy: an observer may add or remove observers.
  const auto observers = visibilityObservers_;
  for (const auto& [token, observer] : observers) {
    if (visibilityObservers_.count(token)) observer(visible);
  }
}

Window::ObserverToken Window::addVisibilityObserver(VisibilityObserver observer) {
  const ObserverToken token = nextObserver_++;
  visibilityObservers_.emplace(token, std::move(observer));
  return token;
}

void Window::removeVisibilityObserver(ObserverToken token) {
  visibilityObservers_.erase(token);
}

Window::ObserverToken Window::addStackObserver(std::function<void()> observer) {
  const ObserverToken token = nextObserver_++;
  stackObservers_.emplace(token, std::move(observer));
  return token;
}

void Window::removeStackObserver(ObserverToken token) {
  stackObservers_.erase(token);
}

Window::ObserverToken Window::addPresentationObserver(PresentationObserver observer) {
  const ObserverToken token = nextObserver_++;
  presentationObservers_.emplace(token, std::move(observer));
  return token;
}

void Window::removePresentationObserver(ObserverToken token) {
  presentationObservers_.erase(token);
}

void Window::stackChanged() {
  const auto observers = stackObservers_;
  for (const auto& [token, observer] : observers) {
    if (stackObservers_.count(token)) observer();
  }
}

double Window::hiddenSeconds(double from, double to) const {
  double total = 0;
  for (const auto& period : hidden_) {
    const double start = std::max(period.from, from);
    const double end = std::min(period.to.value_or(to), to);
    if (end > start) total += end - start;
  }
  return total;
}

}  // namespace zelvora::platform
