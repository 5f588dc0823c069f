#include "KeyboardFocus.h"

#include <gdk/gdkkeysyms.h>

#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::gtk {
namespace {

std::optional<Key> keyOf(const GdkEventKey& event) {
  const bool shift = event.state & GDK_SHIFT_MASK;
  switch (event.keyval) {
    case GDK_KEY_Escape:
      return Key::escape;
    case GDK_KEY_Back:
      return Key::back;
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
      return shift ? Key::backtab : Key::tab;
    case GDK_KEY_ISO_Left_Tab:
      return Key::backtab;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return Key::left;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return Key::right;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return Key::up;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return Key::down;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return Key::enter;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
      return Key::space;
    default:
      return std::nullopt;
  }
}

bool within(GtkWidget* widget, GtkWidget* ancestor) {
  return widget && ancestor && (widget == ancestor || gtk_widget_is_ancestor(widget, ancestor));
}

}  // namespace

KeyboardFocus::KeyboardFocus(GtkWidget* canvas, KeyWindow window, PageOf pageOf)
    : canvas_(canvas), window_(std::move(window)), pageOf_(std::move(pageOf)) {}

KeyboardFocus::~KeyboardFocus() {
  if (takeBackSource_) g_source_remove(takeBackSource_);
  if (previous_) g_object_remove_weak_pointer(G_OBJECT(previous_), (gpointer*)&previous_);
  if (toplevel_) {
    g_signal_handlers_disconnect_by_data(toplevel_, this);
    g_object_remove_weak_pointer(G_OBJECT(toplevel_), (gpointer*)&toplevel_);
  }
}

void KeyboardFocus::watch(GtkWindow* toplevel) {
  if (toplevel_ == toplevel) return;
  toplevel_ = toplevel;
  g_object_add_weak_pointer(G_OBJECT(toplevel_), (gpointer*)&toplevel_);
  // Before GTK's own handler, which runs the window's mnemonics and accelerators first.
  g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(&KeyboardFocus::onKey), this);
  g_signal_connect(toplevel_, "key-release-event", G_CALLBACK(&KeyboardFocus::onKey), this);
  g_signal_connect_after(toplevel_, "set-focus", G_CALLBACK(&KeyboardFocus::onSetFocus), this);
}

void KeyboardFocus::presentationChanged(bool presenting) {
  if (presenting == presenting_) return;
  presenting_ = presenting;
  gtk_widget_set_can_focus(canvas_, presenting);
  if (!toplevel_) return;
  if (presenting) {
    if (GtkWidget* had = gtk_window_get_focus(toplevel_); had && !within(had, canvas_)) {
      previous_ = had;
      g_object_add_weak_pointer(G_OBJECT(previous_), (gpointer*)&previous_);
    }
    gtk_widget_grab_focus(canvas_);
    given_ = canvas_;
    return;
  }
  lastPageKey_.reset();
  announce(nullptr);
  if (previous_) {
    GtkWidget* had = previous_;
    g_object_remove_weak_pointer(G_OBJECT(previous_), (gpointer*)&previous_);
    previous_ = nullptr;
    if (gtk_widget_get_toplevel(had) == GTK_WIDGET(toplevel_)) gtk_widget_grab_focus(had);
  } else if (within(gtk_window_get_focus(toplevel_), canvas_)) {
    gtk_window_set_focus(toplevel_, nullptr);
  }
}

GtkWidget* KeyboardFocus::focusTarget() const {
  const auto window = window_();
  const auto focused = window ? window->focusedView() : nullptr;
  if (focused && dynamic_cast<const WebView*>(focused.get())) {
    if (GtkWidget* page = pageOf_(*focused); page && gtk_widget_get_mapped(page)) return page;
  }
  return canvas_;
}

void KeyboardFocus::sync() {
  if (!presenting_ || !toplevel_) return;
  const auto window = window_();
  const auto focused = window ? window->focusedView() : nullptr;
  if (focused != announced_.lock()) {
    announce(focused);
    lastPageKey_.reset();
  }
  // Only when the model's focus moved: GTK's own moves are for takeBack to judge, and a page
  // that just handed the focus out still has the model's focus until then.
  GtkWidget* target = focusTarget();
  if (target == given_) return;
  given_ = target;
  if (!within(gtk_window_get_focus(toplevel_), target)) gtk_widget_grab_focus(target);
}

void KeyboardFocus::announce(const std::shared_ptr<View>& focused) {
  announced_ = focused;
  AtkObject* accessible = gtk_widget_get_accessible(canvas_);
  if (!accessible) return;
  const std::string name = focused ? focused->accessibilityLabel : std::string();
  atk_object_set_name(accessible, name.c_str());
  atk_object_set_role(accessible, focused ? ATK_ROLE_PUSH_BUTTON : ATK_ROLE_DRAWING_AREA);
  if (focused) atk_object_notify_state_change(accessible, ATK_STATE_FOCUSED, TRUE);
}

gboolean KeyboardFocus::onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto& keys = *static_cast<KeyboardFocus*>(self);
  if (!keys.presenting_) return FALSE;
  const auto key = keyOf(*event);
  const bool leaves = key == Key::escape || key == Key::back;
  GtkWidget* target = keys.focusTarget();
  if (target != keys.canvas_ && !leaves) {
    // The page handed the focus out (WebKit then sends the key that did it back up here), or
    // has not had it yet.
    if (!within(gtk_window_get_focus(keys.toplevel_), target)) {
      keys.retake();
      return TRUE;
    }
    // The page's own keys, Tab among them: WebKit moves through the page and hands focus out
    // past its last element.
    if (event->type == GDK_KEY_PRESS && (key == Key::tab || key == Key::backtab))
      keys.lastPageKey_ = key;
    gtk_widget_event(target, reinterpret_cast<GdkEvent*>(event));
    return TRUE;
  }
  if (event->type == GDK_KEY_PRESS && key) {
    if (auto window = keys.window_()) window->handleKey(*key);
  }
  return TRUE;  // nothing of the host's acts while the ad is up
}

void KeyboardFocus::onSetFocus(GtkWindow*, GtkWidget*, gpointer self) {
  auto& keys = *static_cast<KeyboardFocus*>(self);
  if (!keys.presenting_ || keys.takeBackSource_) return;
  // Not inside GTK's own focus change.
  keys.takeBackSource_ = g_idle_add_full(G_PRIORITY_HIGH, &KeyboardFocus::takeBack, self, nullptr);
}

gboolean KeyboardFocus::takeBack(gpointer self) {
  auto& keys = *static_cast<KeyboardFocus*>(self);
  keys.takeBackSource_ = 0;
  keys.retake();
  return G_SOURCE_REMOVE;
}

void KeyboardFocus::retake() {
  if (!presenting_ || !toplevel_) return;
  GtkWidget* target = focusTarget();
  if (within(gtk_window_get_focus(toplevel_), target)) return;
  // A page left by Tab past its end: the model's focus moves on from it the same way.
  if (target != canvas_ && lastPageKey_) {
    if (auto window = window_()) window->handleKey(*lastPageKey_);
    lastPageKey_.reset();
    target = focusTarget();
  }
  given_ = target;
  gtk_widget_grab_focus(target);
}

}  // namespace zelvora::platform::gtk
