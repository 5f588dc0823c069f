#include "ModelCanvas.h"

#include <cmath>

#include "zelvora/platform/render/ViewRenderer.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora::platform::gtk {

ModelCanvas::ModelCanvas(Window window, Covered covered)
    : window_(std::move(window)), covered_(std::move(covered)), area_(gtk_drawing_area_new()) {
  if (covered_) {
    // Nothing takes input until something is drawn over a widget.
    inputShape_ = cairo_region_create();
    gtk_widget_input_shape_combine_region(area_, inputShape_);
  }
  gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_TOUCH_MASK);
  g_signal_connect(area_, "draw", G_CALLBACK(&ModelCanvas::onDraw), this);
  g_signal_connect(area_, "button-press-event", G_CALLBACK(&ModelCanvas::onButton), this);
  g_signal_connect(area_, "button-release-event", G_CALLBACK(&ModelCanvas::onButton), this);
  g_signal_connect(area_, "touch-event", G_CALLBACK(&ModelCanvas::onTouch), this);
}

ModelCanvas::~ModelCanvas() {
  if (inputShape_) cairo_region_destroy(inputShape_);
}

gboolean ModelCanvas::onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  auto& canvas = *static_cast<ModelCanvas*>(self);
  const auto window = canvas.window_();
  if (canvas.covered_) {
    if (window) canvas.drawAbove(cr, *window);
  } else {
    if (canvas.backdrop_) {
      canvas.backdrop_(cr);
    } else {
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_paint(cr);
    }
    // The engines' widgets show pages and videos: their places are left to them.
    if (window) render::drawViewTree(cr, *window, false);
  }
  ++canvas.framesDrawn_;
  return TRUE;
}

void ModelCanvas::drawAbove(cairo_t* cr, const View& window) {
  const auto covered = covered_();
  cairo_region_t* widgets = cairo_region_create();
  std::vector<const View*> anchors;
  for (const auto& [anchor, area] : covered) {
    cairo_region_union_rectangle(widgets, &area);
    anchors.push_back(anchor.get());
  }
  cairo_region_t* shape = cairo_region_create();
  if (!anchors.empty()) {
    // Beside the widgets the lower canvas shows the same views already.
    cairo_save(cr);
    for (int i = 0; i < cairo_region_num_rectangles(widgets); ++i) {
      cairo_rectangle_int_t rect;
      cairo_region_get_rectangle(widgets, i, &rect);
      cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    }
    cairo_clip(cr);
    for (const Rect& painted : render::drawViewTreeAbove(cr, window, anchors)) {
      const auto left = static_cast<int>(std::floor(painted.x));
      const auto top = static_cast<int>(std::floor(painted.y));
      const cairo_rectangle_int_t rect{
          left, top, static_cast<int>(std::ceil(painted.x + painted.width)) - left,
          static_cast<int>(std::ceil(painted.y + painted.height)) - top};
      cairo_region_union_rectangle(shape, &rect);
    }
    cairo_restore(cr);
    cairo_region_intersect(shape, widgets);
  }
  cairo_region_destroy(widgets);
  if (cairo_region_equal(shape, inputShape_)) {
    cairo_region_destroy(shape);
    return;
  }
  cairo_region_destroy(inputShape_);
  inputShape_ = shape;
  gtk_widget_input_shape_combine_region(area_, inputShape_);
}

gboolean ModelCanvas::onButton(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto& canvas = *static_cast<ModelCanvas*>(self);
  // A touch comes as touch events; the pointer events emulating it would tap twice.
  if (event->button != GDK_BUTTON_PRIMARY ||
      gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(event)))
    return FALSE;
  if (event->type == GDK_BUTTON_PRESS) canvas.press(event->x, event->y);
  if (event->type == GDK_BUTTON_RELEASE) canvas.release(event->x, event->y);
  return TRUE;
}

gboolean ModelCanvas::onTouch(GtkWidget*, GdkEventTouch* event, gpointer self) {
  auto& canvas = *static_cast<ModelCanvas*>(self);
  if (event->type == GDK_TOUCH_BEGIN && !canvas.touch_) {
    canvas.touch_ = event->sequence;
    canvas.press(event->x, event->y);
  } else if (event->sequence == canvas.touch_ && event->type == GDK_TOUCH_END) {
    canvas.touch_ = nullptr;
    canvas.release(event->x, event->y);
  } else if (event->sequence == canvas.touch_ && event->type == GDK_TOUCH_CANCEL) {
    canvas.touch_ = nullptr;
    canvas.pressed_.reset();
  }
  return TRUE;
}

Point ModelCanvas::modelPoint(const View& window, double x, double y) const {
  // The window is drawn at the area's origin, wherever its frame sits.
  return {x + window.frame.x, y + window.frame.y};
}

void ModelCanvas::press(double x, double y) {
  pressed_.reset();
  if (auto window = window_()) pressed_ = hitTest(*window, modelPoint(*window, x, y));
}

void ModelCanvas::release(double x, double y) {
  auto pressed = pressed_.lock();
  pressed_.reset();
  auto window = window_();
  if (!pressed || !window || !pressed->isDescendant(*window)) return;
  // Released inside the pressed view, as touch-up-inside wants.
  if (pressed->frameInRoot().contains(modelPoint(*window, x, y))) sendTap(pressed);
}

}  // namespace zelvora::platform::gtk
