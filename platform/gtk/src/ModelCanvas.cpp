#include "ModelCanvas.h"

#include "zelvora/platform/render/ViewRenderer.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora::platform::gtk {

ModelCanvas::ModelCanvas(std::function<std::shared_ptr<View>()> window)
    : window_(std::move(window)), area_(gtk_drawing_area_new()) {
  gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_TOUCH_MASK);
  g_signal_connect(area_, "draw", G_CALLBACK(&ModelCanvas::onDraw), this);
  g_signal_connect(area_, "button-press-event", G_CALLBACK(&ModelCanvas::onButton), this);
  g_signal_connect(area_, "button-release-event", G_CALLBACK(&ModelCanvas::onButton), this);
  g_signal_connect(area_, "touch-event", G_CALLBACK(&ModelCanvas::onTouch), this);
}

gboolean ModelCanvas::onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  auto& canvas = *static_cast<ModelCanvas*>(self);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (auto window = canvas.window_()) render::drawViewTree(cr, *window);
  ++canvas.framesDrawn_;
  return TRUE;
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
