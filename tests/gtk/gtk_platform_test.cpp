#include <gtest/gtest.h>

#include "UserPointer.h"

#include <gst/gst.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "zelvora/platform/Device.h"
#include "zelvora/platform/gtk/GtkPlatform.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/ViewController.h"

// Last: X11's macros would change the names above.
#include <gdk/gdkx.h>

using namespace zelvora::platform;
using zelvora::platform::gtk::GtkPlatform;
using zelvora::platform::gtk::UrlMode;

namespace {

struct Target {
  void hit() { ++hits; }
  int hits = 0;
};

gboolean paintRed(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

class GtkPlatformTest : public ::testing::Test {
 protected:
  static HostEnvironment environment() {
    HostEnvironment environment;
    environment.screenWidth = 320;
    environment.screenHeight = 480;
    return environment;
  }

  void SetUp() override {
    platform.showWindow();
    ASSERT_TRUE(waitFor([&] { return platform.framesDrawn() > 0; })) << "the window never drew";
  }

  bool waitFor(const std::function<bool()>& done) { return platform.mainQueue().runUntil(done, 5); }

  /// The size GTK gave the model's drawing.
  Size allocatedSize() {
    return {static_cast<double>(gtk_widget_get_allocated_width(platform.canvas())),
            static_cast<double>(gtk_widget_get_allocated_height(platform.canvas()))};
  }

  void click(Point press, Point release) { zelvora::test::clickInWindow(platform, press, release); }

  GtkPlatform platform{environment(), UrlMode::record};
};

TEST_F(GtkPlatformTest, AClickOnAModelButtonRunsItsAction) {
  auto screenView = platform.rootViewController()->view();
  auto addButton = [&](Rect frame, const std::shared_ptr<Target>& target) {
    auto button = Button::make(ButtonType::system);
    button->frame = frame;
    button->addTarget(target, &Target::hit, ControlEvent::touchUpInside);
    screenView->addSubview(button);
  };
  auto go = std::make_shared<Target>(), done = std::make_shared<Target>();
  addButton({40, 100, 120, 44}, go);
  addButton({40, 300, 120, 44}, done);

  click({60, 120}, {150, 130});
  EXPECT_TRUE(waitFor([&] { return go->hits == 1; }));
  click({60, 120}, {60, 200});  // released outside: no tap
  click({200, 200}, {200, 200});
  click({50, 310}, {50, 310});
  // The clicks arrive in order: once the last one has, the others were handled.
  ASSERT_TRUE(waitFor([&] { return done->hits == 1; }));
  EXPECT_EQ(go->hits, 1);
}

// While a screen is presented the window's keys are the model's: Tab moves the focus over its
// controls, whose names the canvas's accessible object tells, Return presses the focused one;
// the canvas has GTK's focus only while the screen is up.
TEST_F(GtkPlatformTest, KeysMoveTheFocusThatTheCanvasNames) {
  auto screen = std::make_shared<ViewController>();
  auto first = std::make_shared<Target>(), second = std::make_shared<Target>();
  for (const auto& [y, name, target] :
       {std::tuple{100.0, "First", first}, std::tuple{300.0, "Second", second}}) {
    auto button = Button::make(ButtonType::system);
    button->frame = {40, y, 120, 44};
    button->accessibilityLabel = name;
    button->addTarget(target, &Target::hit, ControlEvent::touchUpInside);
    screen->view()->addSubview(button);
  }
  platform.rootViewController()->present(screen, false);
  GtkWindow* window = platform.gtkWindow();
  ASSERT_TRUE(waitFor([&] { return gtk_window_get_focus(window) == platform.canvas(); }));
  AtkObject* accessible = gtk_widget_get_accessible(platform.canvas());
  const auto named = [&](const std::string& name) {
    return waitFor([&] {
      const char* said = atk_object_get_name(accessible);
      return said && said == name && atk_object_get_role(accessible) == ATK_ROLE_PUSH_BUTTON;
    });
  };
  zelvora::test::typeInWindow(platform, XK_Tab);
  EXPECT_TRUE(named("First"));
  zelvora::test::typeInWindow(platform, XK_Tab);
  EXPECT_TRUE(named("Second"));
  zelvora::test::typeInWindow(platform, XK_Return);
  EXPECT_TRUE(waitFor([&] { return second->hits == 1; }));
  EXPECT_EQ(first->hits, 0);

  screen->dismiss(false);
  EXPECT_TRUE(waitFor([&] { return gtk_window_get_focus(window) != platform.canvas(); }));
}

TEST_F(GtkPlatformTest, TheInterfaceTurnsWithTheWindowsShapeAndTheWindowWithTheInterface) {
  auto& application = Application::shared();
  auto screenView = platform.rootViewController()->view();

  gtk_window_resize(platform.gtkWindow(), 600, 400);
  ASSERT_TRUE(waitFor([&] { return platform.window()->frame.size() == Size{600, 400}; }));
  EXPECT_TRUE(isLandscape(application.statusBarOrientation()));
  EXPECT_EQ(screen::bounds().size(), (Size{600, 400}));
  EXPECT_EQ(screenView->frame.size(), (Size{600, 400}));

  gtk_window_resize(platform.gtkWindow(), 300, 500);
  ASSERT_TRUE(waitFor([&] { return platform.window()->frame.size() == Size{300, 500}; }));
  EXPECT_EQ(application.statusBarOrientation(), InterfaceOrientation::portrait);

  // Turned by the application (a landscape-only screen), the desktop window follows and the
  // new size it reports keeps the orientation.
  ASSERT_TRUE(application.rotate(InterfaceOrientation::landscapeLeft));
  ASSERT_TRUE(waitFor([&] {
    int width = 0, height = 0;
    gtk_window_get_size(platform.gtkWindow(), &width, &height);
    return width == 500 && height == 300;
  }));
  platform.mainQueue().runUntil([] { return false; }, 0.1);
  EXPECT_EQ(application.statusBarOrientation(), InterfaceOrientation::landscapeLeft);
  EXPECT_EQ(platform.window()->frame.size(), (Size{500, 300}));

  // Turned back as soon as the desktop window took the first turn's size, before the model
  // was told of it: that news, late, does not turn the interface again.
  ASSERT_TRUE(application.rotate(InterfaceOrientation::portrait));
  ASSERT_TRUE(waitFor([&] { return allocatedSize() == Size{300, 500}; }));
  ASSERT_TRUE(application.rotate(InterfaceOrientation::landscapeLeft));
  ASSERT_TRUE(waitFor([&] { return allocatedSize() == Size{500, 300}; }));
  ASSERT_TRUE(application.rotate(InterfaceOrientation::portrait));
  platform.mainQueue().runUntil([] { return false; }, 1);
  EXPECT_EQ(application.statusBarOrientation(), InterfaceOrientation::portrait);
  EXPECT_EQ(platform.window()->frame.size(), (Size{300, 500}));
  EXPECT_EQ(allocatedSize(), (Size{300, 500}));
}

TEST_F(GtkPlatformTest, ANativeWidgetFollowsItsAnchorWhileItIsSeen) {
  auto screenView = platform.rootViewController()->view();
  screenView->backgroundColor = Color{0, 0, 1, 1};
  auto box = View::make({20, 40, 200, 300});
  auto anchor = View::make({20, 20, 100, 50});
  box->addSubview(anchor);
  screenView->addSubview(box);
  GtkWidget* widget = gtk_drawing_area_new();
  g_signal_connect(widget, "draw", G_CALLBACK(paintRed), nullptr);
  platform.nativeLayer().attach(widget, anchor);

  auto placedAt = [&](Rect rect) {
    int x = -1, y = -1;
    gtk_widget_translate_coordinates(widget, platform.canvas(), 0, 0, &x, &y);
    return gtk_widget_get_mapped(widget) && x == rect.x && y == rect.y &&
           gtk_widget_get_allocated_width(widget) == rect.width &&
           gtk_widget_get_allocated_height(widget) == rect.height;
  };
  EXPECT_TRUE(waitFor([&] { return placedAt({40, 60, 100, 50}); }));
  anchor->frame = {10, 160, 80, 30};
  EXPECT_TRUE(waitFor([&] { return placedAt({30, 200, 80, 30}); }));

  // The screenshot holds both the model's drawing and the widget.
  const auto path =
      std::filesystem::temp_directory_path() / ("zelvora-gtk-" + std::to_string(getpid()) + ".png");
  ASSERT_TRUE(platform.screenshot(path));
  GdkPixbuf* shot = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  std::filesystem::remove(path);
  ASSERT_NE(shot, nullptr);
  auto pixel = [&](int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return (p[0] << 16) | (p[1] << 8) | p[2];
  };
  EXPECT_EQ(pixel(50, 215), 0xFF0000);
  EXPECT_EQ(pixel(250, 100), 0x0000FF);
  g_object_unref(shot);

  auto seen = [&] { return gtk_widget_get_visible(widget) && gtk_widget_get_mapped(widget); };
  box->isHidden = true;
  EXPECT_TRUE(waitFor([&] { return !seen(); }));
  box->isHidden = false;
  EXPECT_TRUE(waitFor(seen));
  auto cover = std::make_shared<ViewController>();
  cover->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  platform.rootViewController()->present(cover, false);
  EXPECT_TRUE(waitFor([&] { return !seen(); })) << "covered by the screen presented over it";
  cover->dismiss(false);
  EXPECT_TRUE(waitFor(seen));
  anchor->removeFromSuperview();
  anchor.reset();
  EXPECT_TRUE(waitFor([&] { return !seen(); }));

  platform.nativeLayer().detach(widget);
  EXPECT_FALSE(platform.nativeLayer().isAttached(widget));
}

// Nothing is drawn while what the window shows stays the same, however often the main loop
// turns; each change of the model (a colour, a text, a view taken out) is drawn once more.
TEST_F(GtkPlatformTest, TheWindowIsDrawnAgainOnlyWhenWhatItShowsChanged) {
  auto screenView = platform.rootViewController()->view();
  auto box = View::make({20, 40, 100, 100});
  box->backgroundColor = Color{0, 0, 1, 1};
  auto label = Label::make({0, 0, 100, 20});
  label->text = "one";
  box->addSubview(label);
  screenView->addSubview(box);
  auto& queue = platform.mainQueue();
  const auto quiet = [&] {
    queue.runUntil([] { return false; }, 0.3);  // the change drawn, and whatever GTK wants
    const auto drawn = platform.framesDrawn();
    for (int turn = 0; turn < 20; ++turn) {
      queue.post([] {});
      queue.runUntil([] { return false; }, 0.02);
    }
    return platform.framesDrawn() == drawn;
  };
  EXPECT_TRUE(quiet()) << "drawn while nothing changed";

  const std::vector<std::function<void()>> changes{[&] {
                                                     box->backgroundColor = Color{1, 0, 0, 1};
                                                   },
                                                   [&] { label->text = "two"; },
                                                   [&] { label->removeFromSuperview(); }};
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const auto drawn = platform.framesDrawn();
    changes[i]();
    EXPECT_TRUE(waitFor([&] { return platform.framesDrawn() > drawn; })) << "change " << i;
    EXPECT_TRUE(quiet()) << "after change " << i;
  }
}

// The first video must not load GStreamer's plugins on the main thread: the platform has them
// loaded, in the background, before any video is opened.
TEST_F(GtkPlatformTest, LoadsThePlayersPluginsBeforeTheFirstVideo) {
  const auto loaded = [](const char* element) {
    GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), element);
    if (!feature) return false;
    GstPlugin* plugin = gst_plugin_feature_get_plugin(feature);
    const bool isLoaded = plugin && gst_plugin_is_loaded(plugin);
    if (plugin) gst_object_unref(plugin);
    gst_object_unref(feature);
    return isLoaded;
  };
  // Nothing on the main loop tells when the worker is done: look now and then.
  for (int look = 0; look < 100 && !(loaded("playbin") && loaded("gtksink")); ++look)
    platform.mainQueue().runUntil([] { return false; }, 0.05);
  EXPECT_TRUE(loaded("playbin") && loaded("gtksink"));
}

TEST_F(GtkPlatformTest, RecordsTheUrlsItWouldOpen) {
  auto& application = Application::shared();
  EXPECT_TRUE(application.canOpenURL("https://example.com/offer"));
  EXPECT_FALSE(application.canOpenURL("no-such-scheme-zelvora:x"));
  EXPECT_FALSE(application.canOpenURL("not a url"));
  application.open("https://example.com/offer");
  EXPECT_EQ(platform.urlHandler().openedUrls(),
            (std::vector<std::string>{"https://example.com/offer"}));
}

}  // namespace
