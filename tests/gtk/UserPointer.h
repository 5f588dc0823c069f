#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "zelvora/platform/gtk/GtkPlatform.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::test {

/// The user's mouse, faked in the X server: the press and release reach whatever the window
/// shows at those points, native widgets and model alike.
inline void clickInWindow(platform::gtk::GtkPlatform& platform, platform::Point press,
                          platform::Point release) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(platform.gtkWindow()));
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(window));
  int left = 0, top = 0;
  gdk_window_get_origin(window, &left, &top);
  auto moveTo = [&](platform::Point point) {
    XTestFakeMotionEvent(display, -1, left + static_cast<int>(point.x),
                         top + static_cast<int>(point.y), CurrentTime);
  };
  moveTo(press);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  moveTo(release);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
}

inline void clickInWindow(platform::gtk::GtkPlatform& platform, platform::Point point) {
  clickInWindow(platform, point, point);
}

/// A key typed into the window: the pointer rests over it, so that the keyboard is its own.
inline void typeInWindow(platform::gtk::GtkPlatform& platform, KeySym keysym) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(platform.gtkWindow()));
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(window));
  int left = 0, top = 0;
  gdk_window_get_origin(window, &left, &top);
  XTestFakeMotionEvent(display, -1, left + 5, top + 5, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), False, CurrentTime);
  XFlush(display);
}

/// Clicks the middle of `view` as the window shows it.
inline void clickOn(platform::gtk::GtkPlatform& platform, const platform::View& view) {
  const auto frame = view.frameInRoot();
  clickInWindow(platform, {frame.x + frame.width / 2, frame.y + frame.height / 2});
}

}  // namespace zelvora::test
