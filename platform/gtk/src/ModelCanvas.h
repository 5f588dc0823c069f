#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "zelvora/platform/ui/View.h"

namespace zelvora::platform::gtk {

/// The drawing area that shows the view model: it draws the key window's tree with the shared
/// renderer on black, and turns a press and release of the primary button, or a touch, into a
/// tap on the model when both land in the view that was pressed.
class ModelCanvas {
 public:
  /// `window` answers the model window to draw and to send input to (none: draw black).
  explicit ModelCanvas(std::function<std::shared_ptr<View>()> window);
  ModelCanvas(const ModelCanvas&) = delete;
  ModelCanvas& operator=(const ModelCanvas&) = delete;

  /// Owned by the container it is put into.
  GtkWidget* widget() const { return area_; }
  /// How many times the area was drawn.
  std::uint64_t framesDrawn() const { return framesDrawn_; }

 private:
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean onButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean onTouch(GtkWidget* widget, GdkEventTouch* event, gpointer self);

  /// `x` and `y` are in the area's coordinates.
  void press(double x, double y);
  void release(double x, double y);
  Point modelPoint(const View& window, double x, double y) const;

  std::function<std::shared_ptr<View>()> window_;
  GtkWidget* area_;
  std::uint64_t framesDrawn_ = 0;
  std::weak_ptr<View> pressed_;
  /// The touch being followed; others are ignored until it ends.
  GdkEventSequence* touch_ = nullptr;
};

}  // namespace zelvora::platform::gtk
