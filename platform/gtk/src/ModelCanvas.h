#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "zelvora/platform/gtk/NativeLayer.h"

#include "zelvora/platform/ui/View.h"

namespace zelvora::platform::gtk {

/// A drawing area that shows the view model: it draws the key window's tree with the shared
/// renderer, and turns a press and release of the primary button, or a touch, into a tap on the
/// model when both land in the view that was pressed.
///
/// The lower canvas draws its backdrop (black unless told otherwise), then the whole tree, below
/// the native widgets. The upper one lies
/// above them and draws, over each widget, what the model puts over its view (a close button
/// over a page's corner); it takes input only there, so the rest reaches the widgets and the
/// lower canvas.
class ModelCanvas {
 public:
  using Window = std::function<std::shared_ptr<View>()>;
  using Covered = std::function<std::vector<NativeLayer::Covered>()>;
  using Backdrop = std::function<void(cairo_t*)>;

  /// The lower canvas. `window` answers the model window to draw and to send input to (none:
  /// draw black).
  explicit ModelCanvas(Window window) : ModelCanvas(std::move(window), nullptr) {}
  /// The upper canvas: `covered` answers the views native widgets show over, and where.
  ModelCanvas(Window window, Covered covered);
  ~ModelCanvas();
  ModelCanvas(const ModelCanvas&) = delete;
  ModelCanvas& operator=(const ModelCanvas&) = delete;

  /// What the lower canvas paints under the model.
  void setBackdrop(Backdrop backdrop) { backdrop_ = std::move(backdrop); }
  /// Owned by the container it is put into.
  GtkWidget* widget() const { return area_; }
  /// How many times the area was drawn.
  std::uint64_t framesDrawn() const { return framesDrawn_; }

 private:
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  /// Draws what lies over the native widgets, and takes input only where it drew.
  void drawAbove(cairo_t* cr, const View& window);
  static gboolean onButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean onTouch(GtkWidget* widget, GdkEventTouch* event, gpointer self);

  /// `x` and `y` are in the area's coordinates.
  void press(double x, double y);
  void release(double x, double y);
  Point modelPoint(const View& window, double x, double y) const;

  Window window_;
  Covered covered_;
  Backdrop backdrop_;
  GtkWidget* area_;
  /// The upper canvas's input shape, as last set.
  cairo_region_t* inputShape_ = nullptr;
  std::uint64_t framesDrawn_ = 0;
  std::weak_ptr<View> pressed_;
  /// The touch being followed; others are ignored until it ends.
  GdkEventSequence* touch_ = nullptr;
};

}  // namespace zelvora::platform::gtk
