// The keyboard through a real page: Tab goes from the SDK's close button into the WebKit page,
// through the page's own links, and out past the last one back to the close button; the ring
// shows around the page over WebKit's drawing; Escape closes the ad from inside the page.
#include "GtkSdkTest.h"
#include "UserPointer.h"

namespace zelvora::test {
namespace {

using GtkKeyboardTest = GtkSdkTest;

TEST_F(GtkKeyboardTest, TabGoesThroughThePageAndBackToTheSdksControls) {
  initializeWith({{"markup",
                   "<body style='background:#fff'><a id=one href='#1'>one</a> "
                   "<a id=two href='#2'>two</a></body>"}},
                 "html");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  sdk().showAd(platform.rootViewController(), "p");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));
  const auto window = platform.window();
  const auto web = ad()->webView;
  GtkWindow* desktop = platform.gtkWindow();
  const auto focusedName = [&] {
    const auto focused = window->focusedView();
    return !focused         ? std::string("(none)")
           : focused == web ? std::string("page")
                            : focused->accessibilityLabel;
  };
  const auto active = [&] { return evaluate(web, "document.activeElement.id").dump(); };

  typeInWindow(platform, XK_Tab);
  ASSERT_TRUE(runUntil([&] { return focusedName() == "Close ad"; })) << focusedName();
  typeInWindow(platform, XK_Tab);
  ASSERT_TRUE(runUntil([&] { return focusedName() == "page"; })) << focusedName();
  GtkWidget* page = GTK_WIDGET(platform.webEngine().pageOf(*web));
  EXPECT_TRUE(runUntil([&] { return gtk_window_get_focus(desktop) == page; }))
      << "WebKit does not have GTK's focus";
  if (const char* into = std::getenv("ZELVORA_SCREENSHOT_DIR"))
    platform.screenshot(fs::path(into) / "gtk-keyboard-page-focused.png");

  // The page's own order, then out of it: the SDK's close button, never the host.
  typeInWindow(platform, XK_Tab);
  EXPECT_TRUE(runUntil([&] { return active() == "\"one\""; })) << active();
  typeInWindow(platform, XK_Tab);
  EXPECT_TRUE(runUntil([&] { return active() == "\"two\""; })) << active();
  typeInWindow(platform, XK_Tab);
  EXPECT_TRUE(runUntil([&] { return focusedName() == "Close ad"; })) << focusedName();
  EXPECT_TRUE(runUntil([&] { return gtk_window_get_focus(desktop) == platform.canvas(); }));

  // Escape from inside the page closes the ad.
  typeInWindow(platform, XK_Tab);
  ASSERT_TRUE(runUntil([&] { return focusedName() == "page"; })) << focusedName();
  typeInWindow(platform, XK_Escape);
  EXPECT_TRUE(runUntil([&] { return delegate->has("onAdClose:p"); }));
}

}  // namespace
}  // namespace zelvora::test
