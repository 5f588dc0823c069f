#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform::gtk {

/// Places GTK widgets over the drawn view model: a web engine's page over its model web view,
/// a video sink's picture over its model video view. The widgets live in a GtkFixed above the
/// whole model drawing; each follows the frame of its anchor view in window coordinates and
/// shows only while the anchor is seen: alive, it and its ancestors shown and not transparent
/// (their alphas become the widget's opacity), in the key window, and inside the topmost of
/// the window's views (the root view controller's view or the last presented one), since a
/// widget would otherwise cover a screen presented over its own. Ancestors that clip to their
/// bounds do not clip the widget, and a widget whose minimum size is larger than its anchor
/// overflows it. Main thread only.
class ZELVORA_API NativeLayer {
 public:
  /// Places widgets into `fixed`, which must cover the model drawing exactly.
  explicit NativeLayer(GtkFixed* fixed);
  /// Takes every widget out.
  ~NativeLayer();
  NativeLayer(const NativeLayer&) = delete;
  NativeLayer& operator=(const NativeLayer&) = delete;

  /// Puts `widget` over `anchor`, above the widgets attached before; it takes its place at the
  /// next `update`. The layer shows and hides the widget itself, not its children (show them
  /// first), and holds a reference to it until it is detached. Attaching a widget again changes
  /// its anchor.
  void attach(GtkWidget* widget, std::weak_ptr<View> anchor);
  /// Takes `widget` out and drops the layer's reference; unknown widgets are ignored.
  void detach(GtkWidget* widget);
  bool isAttached(GtkWidget* widget) const;
  /// Counts the attachments and detachments so far: a change the next `update` must place.
  std::uint64_t changes() const { return changes_; }

  /// Moves, sizes, shows and hides every widget to match `window` (the key window). The
  /// platform calls this whenever the model or the attachments changed.
  void update(const View& window);
  /// Allocates `widget`, if it is hidden, at its anchor's size now (when the anchor has one),
  /// and leaves it hidden: a page told its size next finds its viewport at that size.
  void allocateUnseen(GtkWidget* widget);

  /// A model view a widget shows over, and the widget's place in window pixels.
  struct Covered {
    std::shared_ptr<View> anchor;
    GdkRectangle area;
  };
  /// The views whose widgets `window` shows now, as `update` would place them, bottom first.
  std::vector<Covered> covered(const View& window) const;

 private:
  struct Entry {
    GtkWidget* widget;
    std::weak_ptr<View> anchor;
  };
  struct Placement {
    std::shared_ptr<View> anchor;
    GdkRectangle area;
    double opacity;
  };
  /// Where and how the entry's widget shows in `window`; none when it is not seen.
  static std::optional<Placement> place(const Entry& entry, const View& window);

  GtkFixed* const fixed_;
  std::vector<Entry> entries_;
  std::uint64_t changes_ = 0;
};

}  // namespace zelvora::platform::gtk
