#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Keyboard.h"
#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/ViewController.h"

namespace zelvora::platform {

/// The application's window: the root view controller's view and, above it, the views of
/// the presented view controllers. Presentations and dismissals run one after another: one
/// asked for during a transition starts when the transition ends.
class ZELVORA_API Window : public View {
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

  // The keyboard. Keys act on the topmost screen presented over the root, never on the root's
  // (the host's screen has keys of its own): focus moves over that screen's focusable views
  // (see focusableViews) and nothing else.

  /// The topmost screen presented over the root; none while the root is alone.
  std::shared_ptr<View> keyScreen() const;
  /// The focused view: one of the key screen's focusable views, or none (until a key moves
  /// focus there, or when it left the screen or stopped being focusable).
  std::shared_ptr<View> focusedView() const;
  /// Focuses `view` when it is focusable in the key screen; none takes focus away.
  void setFocusedView(const std::shared_ptr<View>& view);
  /// A key pressed: Tab, the right and down arrows move focus to the next focusable view,
  /// Backtab, left and up to the previous one, both cycling (from none: the first, or the
  /// last); Enter and Space activate the focused view as a tap does (a web view takes its keys
  /// from its engine instead); Escape and Back perform escape (performEscape) from the focused
  /// view, or with nothing focused from the topmost focusable view, or the screen itself.
  /// Returns whether the key was used.
  bool handleKey(Key key);

  // Whether a person can see the window. The backend tells: a desktop window hidden, minimised
  // or not mapped is not visible. A window starts visible. What the window shows while it is not
  // visible is covered: nothing of it counts as seen.

  using VisibilityObserver = std::function<void(bool visible)>;
  using ObserverToken = std::uint64_t;

  bool isVisible() const { return visible_; }
  /// The backend's word. Observers hear each change once, in the order they were added;
  /// repeating the current state tells no one.
  void setVisible(bool visible);
  ObserverToken addVisibilityObserver(VisibilityObserver observer);
  /// Unknown tokens are ignored; an observer may remove itself while being told.
  void removeVisibilityObserver(ObserverToken token);
  /// Seconds the window was not visible between `from` and `to`, times of the main queue's
  /// monotonic clock (`MainQueue::now`).
  double hiddenSeconds(double from, double to) const;

  /// Told after each change of `viewControllerStack()`: a presentation begun, a dismissal done,
  /// a new root. A backend that shows the window only while a screen is presented over the root
  /// follows it.
  ObserverToken addStackObserver(std::function<void()> observer);
  void removeStackObserver(ObserverToken token);
  /// Told as a presentation over `presenter` begins, once it is sure to happen and before
  /// anything of it changes the window: the place to get ready for a screen that is coming.
  using PresentationObserver =
      std::function<void(const std::shared_ptr<ViewController>& presenter)>;
  ObserverToken addPresentationObserver(PresentationObserver observer);
  void removePresentationObserver(ObserverToken token);

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
  void stackChanged();

  std::shared_ptr<ViewController> root_;
  std::weak_ptr<View> focused_;
  bool transitioning_ = false;
  bool layoutScheduled_ = false;
  /// In a view controller's viewWillLayoutSubviews, right before its pass.
  bool layingOut_ = false;
  std::vector<std::function<void()>> pending_;
  bool visible_ = true;
  std::map<ObserverToken, VisibilityObserver> visibilityObservers_;
  std::map<ObserverToken, std::function<void()>> stackObservers_;
  std::map<ObserverToken, PresentationObserver> presentationObservers_;
  ObserverToken nextObserver_ = 1;
  /// When the window was hidden and shown again, on the main queue's monotonic clock; the last
  /// one open while hidden.
  struct Hidden {
    double from;
    std::optional<double> to;
  };
  std::vector<Hidden> hidden_;
};

}  // namespace zelvora::platform
