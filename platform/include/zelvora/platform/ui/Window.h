#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/ViewController.h"

namespace zelvora::platform {

/// The application's window: the root view controller's view and, above it, the views of
/// the presented view controllers. Presentations and dismissals run one after another: one
/// asked for during a transition starts when the transition ends.
class Window : public View {
 public:
  using View::View;

  void setRootViewController(const std::shared_ptr<ViewController>& viewController);
  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  /// The root and every presented view controller, bottom first.
  std::vector<std::shared_ptr<ViewController>> viewControllerStack() const;
  std::shared_ptr<ViewController> topViewController() const;
  bool isTransitioning() const { return transitioning_; }

  /// Lays out the root and presented views at the window's size and tells their controllers.
  void layout();
  /// Changes the window's size (rotation): viewWillTransition, then a layout pass.
  void resize(Size size);
  /// Schedules one layout pass on the main queue.
  void setNeedsLayout();

  std::string typeName() const override { return "Window"; }

 private:
  friend class ViewController;

  void present(const std::shared_ptr<ViewController>& presenter,
               const std::shared_ptr<ViewController>& presented, bool animated,
               std::function<void()> completion);
  void dismiss(const std::shared_ptr<ViewController>& presenter, bool animated,
               std::function<void()> completion);
  /// A presented view controller that does not support the interface's orientation turns
  /// the interface to one it supports.
  void turnToSupportedOrientation(const ViewController& presented);
  /// Runs `operation` now, or after the running transition ends.
  void enqueue(std::function<void()> operation);
  void finishTransition(bool animated, std::function<void()> then);

  std::shared_ptr<ViewController> root_;
  bool transitioning_ = false;
  bool layoutScheduled_ = false;
  std::vector<std::function<void()>> pending_;
};

}  // namespace zelvora::platform
