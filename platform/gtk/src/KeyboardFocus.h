#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>

#include "zelvora/platform/ui/Window.h"

namespace zelvora::platform::gtk {

/// The keyboard while a screen is presented over the root: the SDK owns it in the desktop window
/// the screens show in. The canvas takes GTK's focus when the first screen comes and gives it
/// back to the widget that had it when the last one goes; every key pressed in the window reaches
/// the model before GTK's own handling (the host's accelerators, mnemonics and buttons never see
/// it), except that a page with the model's focus gets its keys from WebKit (all but Escape and
/// Back). GTK's focus that goes elsewhere meanwhile (WebKit leaving the page's last element, a
/// click) comes back: past the page, the model's focus moves on in the direction it left.
/// The canvas's accessible object names the focused control as a push button.
class KeyboardFocus {
 public:
  using KeyWindow = std::function<std::shared_ptr<Window>()>;
  /// The WebKit view showing a model web view, if built.
  using PageOf = std::function<GtkWidget*(const View&)>;

  KeyboardFocus(GtkWidget* canvas, KeyWindow window, PageOf pageOf);
  ~KeyboardFocus();
  KeyboardFocus(const KeyboardFocus&) = delete;
  KeyboardFocus& operator=(const KeyboardFocus&) = delete;

  /// The window whose keys and focus to follow (the platform's, or the host's).
  void watch(GtkWindow* toplevel);
  /// A screen was presented over the root, or the last one went.
  void presentationChanged(bool presenting);
  /// The model changed: GTK's focus and the accessible name follow the model's focus.
  void sync();

 private:
  static gboolean onKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static void onSetFocus(GtkWindow* window, GtkWidget* widget, gpointer self);
  static gboolean takeBack(gpointer self);
  /// GTK's focus back where the model's is, after it went elsewhere.
  void retake();

  /// The widget that should have GTK's focus: the page the model focuses, or the canvas.
  GtkWidget* focusTarget() const;
  void announce(const std::shared_ptr<View>& focused);

  GtkWidget* canvas_;
  KeyWindow window_;
  PageOf pageOf_;
  GtkWindow* toplevel_ = nullptr;
  bool presenting_ = false;
  /// The widget that had the focus before the first screen came (weak).
  GtkWidget* previous_ = nullptr;
  /// Where the keys sent to a page last went: past its last element, focus moves on that way.
  std::optional<Key> lastPageKey_;
  std::weak_ptr<View> announced_;
  /// The widget `sync` last gave the focus to (compared only, never used).
  GtkWidget* given_ = nullptr;
  guint takeBackSource_ = 0;
};

}  // namespace zelvora::platform::gtk
