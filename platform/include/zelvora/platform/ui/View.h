#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Color.h"
#include "zelvora/platform/ui/Geometry.h"

namespace zelvora::platform {

class LayoutConstraint;
class TapGestureRecognizer;

/// Border and corner of a view's layer.
struct ZELVORA_API Layer {
  double borderWidth = 0;
  Color borderColor = Color::black();
  double cornerRadius = 0;
};

/// A node of the portable view model: a rectangle in its superview's coordinates, with
/// appearance, subviews, gesture recognizers and layout constraints. A backend draws the tree
/// and feeds it input; the layout pass computes the frames of views laid out by constraints.
/// Views are shared objects: create them with `make` (or std::make_shared).
class ZELVORA_API View : public std::enable_shared_from_this<View> {
 public:
  View() = default;
  explicit View(Rect frame) : frame(frame) {}
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  static std::shared_ptr<View> make(Rect frame = {}) { return std::make_shared<View>(frame); }

  Rect bounds() const { return {0, 0, frame.width, frame.height}; }
  Point center() const { return frame.center(); }
  void setCenter(Point center);

  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  /// Adds `view` on top of the other subviews, taking it from its former superview (see
  /// removeFromSuperview); a subview of this view is only brought to the top.
  void addSubview(const std::shared_ptr<View>& view);
  /// Takes the view out of its tree, deactivating the constraints that tie it or its subviews
  /// to views outside it, whichever view holds them.
  void removeFromSuperview();
  bool isDescendant(const View& ancestor) const;
  /// The frame in the coordinates of the tree's root (the window).
  Rect frameInRoot() const;

  void addGestureRecognizer(const std::shared_ptr<TapGestureRecognizer>& recognizer);
  const std::vector<std::shared_ptr<TapGestureRecognizer>>& gestureRecognizers() const {
    return recognizers_;
  }

  /// The active constraints whose first item is this view.
  const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }
  /// The size the content wants when no constraint fixes it (none for a plain view).
  virtual std::optional<Size> intrinsicContentSize() const { return std::nullopt; }
  /// Computes the frames of every constrained view below this one.
  void layoutIfNeeded();
  /// Asks for a layout pass of the window at the end of the current main-queue task.
  void setNeedsLayout();

  /// The type's name and its notable content, for the text dump of the screen.
  virtual std::string typeName() const { return "View"; }
  virtual std::string describeContent() const { return ""; }

  Rect frame;
  bool clipsToBounds = false;
  std::optional<Color> backgroundColor;
  double alpha = 1;
  bool isHidden = false;
  Layer layer;
  /// When true the frame is kept as set; when false constraints place the view.
  bool translatesAutoresizingMaskIntoConstraints = true;
  bool isUserInteractionEnabled = true;
  std::string accessibilityIdentifier;
  /// What a screen reader says for the view: a control's name ("Close ad").
  std::string accessibilityLabel;
  /// The view's answer to Escape (or a remote's Back), asked from the focused view up to its
  /// screen's root until one handles it: returns whether it did, as a close or back control
  /// would. None: the question goes on up.
  std::function<bool()> accessibilityPerformEscape;

 private:
  friend class LayoutConstraint;

  /// Deactivates the constraints between this view's subtree and the rest of the tree under
  /// `treeRoot`, and those whose second view is gone. Without a tree, only the latter.
  void detachConstraints(View* treeRoot);

  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<TapGestureRecognizer>> recognizers_;
  std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
};

}  // namespace zelvora::platform
