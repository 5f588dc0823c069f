#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "zelvora/platform/gtk/GtkMainQueue.h"

namespace demo {

/// The user's mouse over a WebKit page. Events are synthesised on the page widget's own GDK
/// window and dispatched as GTK dispatches the display's, so WebKit takes a click as real
/// input: the page sees trusted events and navigates with a user gesture. The user's real
/// pointer stays where it is.
class PagePointer {
 public:
  PagePointer(WebKitWebView* page, zelvora::platform::gtk::GtkMainQueue& queue);
  ~PagePointer();
  PagePointer(const PagePointer&) = delete;
  PagePointer& operator=(const PagePointer&) = delete;

  /// A point in the page's widget coordinates and what lies there.
  struct Target {
    double x = 0;
    double y = 0;
    std::string what;
  };

  /// Where a user would click to act on the page. With scripts on, the first link, button or
  /// element with an onclick attribute, its box read by a script in a world of its own that
  /// the page's scripts cannot see; with scripts off, where only links act, the first place
  /// down the middle of the page where WebKit reports a link under the pointer. The middle of
  /// the page when there is none.
  Target callToAction();
  /// Moves there, presses and releases the first button.
  void click(const Target& target);

 private:
  void send(GdkEventType type, double x, double y);
  /// Moves the pointer and lets the page answer.
  void moveTo(double x, double y, double settleSeconds);
  bool findByScript(Target& target);
  bool findLink(Target& target);
  static void onMouseTarget(WebKitWebView* page, WebKitHitTestResult* hit, guint modifiers,
                            gpointer self);

  WebKitWebView* const page_;
  zelvora::platform::gtk::GtkMainQueue& queue_;
  gulong handler_ = 0;
  bool overLink_ = false;
  std::string linkUri_;
};

}  // namespace demo
