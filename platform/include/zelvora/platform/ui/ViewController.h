#pragma once

#include <functional>
#include <memory>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

enum class ModalPresentationStyle {
  /// Covers the screen; the presenter's view disappears.
  fullScreen,
  /// Covers the screen; the presenter's view stays visible beneath.
  overFullScreen,
};
enum class ModalTransitionStyle { coverVertical, flipHorizontal, crossDissolve };

/// A screen of the application, with modal presentation and the platform's life events:
/// viewDidLoad when its view is first needed; viewWillAppear, viewWillLayoutSubviews,
/// viewDidLayoutSubviews and, once the transition is over, viewDidAppear when presented;
/// viewWillDisappear and, after the transition, viewDidDisappear when dismissed; viewWillTransition
/// then viewDidLayoutSubviews when the window changes size (rotation). A presented view controller
/// that does not support the current orientation turns the interface to one it does. Transitions
/// last `transitionDuration` seconds on the main queue's clock when animated, and end in the next
/// main-queue task otherwise.
class ZELVORA_API ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  static constexpr double transitionDuration = 0.3;

  ViewController() = default;
  virtual ~ViewController() = default;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  /// The root view, loaded (loadView, then viewDidLoad) on first use.
  std::shared_ptr<View> view();
  void setView(std::shared_ptr<View> view);
  bool isViewLoaded() const { return view_ != nullptr; }

  /// Presents `viewController` modally over this one. Ignored (with a console line) while this
  /// one already presents another or is not on screen.
  void present(const std::shared_ptr<ViewController>& viewController, bool animated,
               std::function<void()> completion = {});
  /// Dismisses the view controller this one presents, with everything above it; on a view
  /// controller that presents nothing, asks its presenter to dismiss it; on one whose
  /// presentation still waits for a running transition to end, withdraws that presentation.
  void dismiss(bool animated, std::function<void()> completion = {});

  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
  /// Whether this view controller is the window's root or presented from it.
  bool isOnScreen() const;
  /// Whether a dismissal asked for takes it off the screen (under way, or waiting for the running
  /// transition): on screen until then, it can present nothing any more.
  bool isBeingDismissed() const { return beingDismissed_; }

  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  virtual void viewWillTransition(Size size) { (void)size; }
  /// Before each layout pass of the view, whose frame is already the window's: the place to
  /// bring constraints that depend on the window's size up to it.
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  virtual OrientationMask supportedInterfaceOrientations() const { return OrientationMask::all(); }
  virtual bool prefersStatusBarHidden() const { return false; }

  ModalPresentationStyle modalPresentationStyle = ModalPresentationStyle::fullScreen;
  ModalTransitionStyle modalTransitionStyle = ModalTransitionStyle::coverVertical;

 private:
  friend class Window;

  std::shared_ptr<View> view_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  bool onScreen_ = false;
  bool beingDismissed_ = false;
  bool presentationWithdrawn_ = false;
};

}  // namespace zelvora::platform
