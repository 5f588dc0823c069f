// The C API on the desktop backend, in a real window: the SDK's own window has the size the host
// gave it (landscape 1280 by 720 when it gave none) as GTK reports it, keeps its shape from a
// video to its landing card, and a game's pause and resume come around each showing's screens.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UserPointer.h"
#include "support/CHostTest.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace zelvora::test {
namespace {

using platform::Size;

/// What the C callbacks and the window told, in order.
struct Heard {
  std::vector<std::string> events;
  /// Each size GTK gave the window, once per change, and the last one.
  std::vector<Size> sizes;
  Size last;
  bool has(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }
};

std::string describe(const std::vector<Size>& sizes) {
  std::string text;
  for (const auto& size : sizes)
    text += (text.empty() ? "" : " ") + std::to_string(static_cast<int>(size.width)) + "x" +
            std::to_string(static_cast<int>(size.height));
  return text;
}

Heard& heard(void* user) {
  return *static_cast<Heard*>(user);
}

/// A banner, and a video of two seconds with its landing card.
JSON campaigns() {
  const auto banner = adObject("b", "banner", {{"ctv", "{server}/assets/sample-banner.png"}});
  const auto video = adObject("v", "video",
                              {{"video", "{server}/assets/sample-video.webm"},
                               {"duration", 2},
                               {"skippableIn", 1},
                               {"landingCard", "{server}/assets/sample-landing-card.png"}});
  return campaignsFor("app", {{"banner", placementObject("enabled", JSON::array({banner}))},
                              {"video", placementObject("enabled", JSON::array({video}))}});
}

class CApiDesktopTest : public CHostTest {
 protected:
  CApiDesktopTest() : CHostTest(campaigns(), ZELVORA_SERVER_ASSETS_DIR) {}
  ~CApiDesktopTest() override { zelvora_set_ad_screen_callbacks(nullptr, nullptr, nullptr); }

  /// The platform's own window, shown now.
  static GtkWindow* showWindow() {
    auto* gtk = platform::gtk::GtkPlatform::current();
    gtk->showWindow();
    return gtk->gtkWindow();
  }
  /// The platform's own window once an ad brought it (none before), its sizes recorded from now
  /// on as GTK allocates them.
  GtkWindow* watchedWindow() {
    GtkWindow* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
      if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(item->data)), "Zelvora") == 0)
        found = GTK_WINDOW(item->data);
    g_list_free(windows);
    if (found && sizeOf(found).width > 0 && !watched_) {
      watched_ = true;
      seen.last = sizeOf(found);
      g_signal_connect(found, "size-allocate", G_CALLBACK(&CApiDesktopTest::allocated), &seen);
    }
    return watched_ ? found : nullptr;
  }
  static void allocated(GtkWidget*, GdkRectangle* area, gpointer user) {
    auto& seen = heard(user);
    const Size size{static_cast<double>(area->width), static_cast<double>(area->height)};
    if (size != seen.last) seen.sizes.push_back(size);
    seen.last = size;
  }
  /// The window's size as GTK has allocated it, once it is on screen.
  static Size sizeOf(GtkWindow* window) {
    if (!gtk_widget_get_mapped(GTK_WIDGET(window))) return {};
    return {static_cast<double>(gtk_widget_get_allocated_width(GTK_WIDGET(window))),
            static_cast<double>(gtk_widget_get_allocated_height(GTK_WIDGET(window)))};
  }
  bool runUntil(const std::function<bool()>& done, double seconds = 10) {
    for (double waited = 0; waited < seconds && !done(); waited += 0.05)
      zelvora_platform_run_for(platform, 0.05);
    return done();
  }
  /// Clicks the view `identifier` of the top screen, in the window, as a person would.
  void clickOn(const std::string& identifier) {
    auto* gtk = platform::gtk::GtkPlatform::current();
    const auto view = find(gtk->window()->topViewController()->view(), identifier);
    ASSERT_TRUE(view) << "no " << identifier << " on screen";
    test::clickOn(*gtk, *view);
  }
  static std::shared_ptr<platform::View> find(const std::shared_ptr<platform::View>& root,
                                              const std::string& identifier) {
    if (root->accessibilityIdentifier == identifier) return root;
    for (const auto& child : root->subviews())
      if (auto found = find(child, identifier)) return found;
    return nullptr;
  }

  Heard seen;
  bool watched_ = false;
};

// The host's size, or the landscape default, is the window's as GTK has it, and the model's.
TEST_F(CApiDesktopTest, TheOwnWindowHasTheSizeTheHostGave) {
  const struct {
    int width, height;
    Size expected;
  } cases[] = {{0, 0, {1280, 720}}, {1024, 600, {1024, 600}}, {500, 700, {500, 700}}};
  for (const auto& given : cases) {
    SCOPED_TRACE(std::to_string(given.width) + "x" + std::to_string(given.height));
    ASSERT_EQ(given.width == 0 ? zelvora_platform_create_gtk_window(&environment, &platform)
                               : zelvora_platform_create_gtk_window_sized(&environment, given.width,
                                                                          given.height, &platform),
              ZELVORA_OK)
        << zelvora_last_error();
    GtkWindow* window = showWindow();
    EXPECT_TRUE(runUntil([&] { return sizeOf(window) == given.expected; }))
        << "the window is " << sizeOf(window).width << "x" << sizeOf(window).height;
    EXPECT_EQ(platform::gtk::GtkPlatform::current()->window()->frame.size(), given.expected);
    zelvora_platform_destroy(platform);
    platform = nullptr;
  }
}

// A video, its landing card closed by a click, then a portrait banner closed by a click, in a
// landscape window the host sized: the game pauses before each showing's first screen and
// resumes once its last is gone, after its close. The window keeps its shape through the video
// and its card (all three landscape), turns for the banner and turns back after it.
TEST_F(CApiDesktopTest, PauseAndResumeAroundEachShowingsScreens) {
  ASSERT_EQ(zelvora_platform_create_gtk_window_sized(&environment, 1024, 600, &platform),
            ZELVORA_OK);
  internal::resetProcessState();
  ASSERT_EQ(zelvora_set_server(server->endpointUrl().c_str(), nullptr, 10), ZELVORA_OK);
  zelvora_callbacks callbacks{};
  callbacks.on_ad_ready = [](const char* id, void* user) {
    heard(user).events.push_back("ready:" + std::string(id));
  };
  callbacks.on_ad_shown = [](const char* id, void* user) {
    heard(user).events.push_back("shown:" + std::string(id));
  };
  callbacks.on_ad_close = [](const char* id, void* user) {
    heard(user).events.push_back("close:" + std::string(id));
  };
  ASSERT_EQ(zelvora_set_callbacks(&callbacks, &seen), ZELVORA_OK);
  ASSERT_EQ(zelvora_set_ad_screen_callbacks(
                [](const char* id, void* user) {
                  heard(user).events.push_back("pause:" + std::string(id));
                },
                [](const char* id, void* user) {
                  heard(user).events.push_back("resume:" + std::string(id));
                },
                &seen),
            ZELVORA_OK);
  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] { return seen.has("ready:banner") && seen.has("ready:video"); }, 30));
  seen.events.clear();

  // The window comes with the video, in the host's shape.
  ASSERT_EQ(zelvora_show_ad(platform, "video"), ZELVORA_OK);
  GtkWindow* window = nullptr;
  ASSERT_TRUE(runUntil([&] { return (window = watchedWindow()) != nullptr; }));
  EXPECT_EQ(describe({sizeOf(window)}), "1024x600");
  auto* gtk = platform::gtk::GtkPlatform::current();
  ASSERT_TRUE(runUntil([&] { return find(gtk->window(), "banner") != nullptr; }, 30))
      << "no landing card";
  ASSERT_TRUE(runUntil([&] { return !gtk->window()->isTransitioning(); }));
  clickOn("close");
  ASSERT_TRUE(runUntil([&] { return seen.has("resume:video"); }));
  EXPECT_EQ(seen.events, (std::vector<std::string>{"pause:video", "shown:video", "close:video",
                                                   "resume:video"}));
  EXPECT_EQ(describe(seen.sizes), "") << "the window turned for the video or its card";
  seen.events.clear();
  seen.sizes.clear();

  ASSERT_EQ(zelvora_show_ad(platform, "banner"), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] { return seen.has("shown:banner"); }));
  clickOn("close");
  ASSERT_TRUE(runUntil([&] { return seen.has("resume:banner"); }));
  EXPECT_EQ(seen.events, (std::vector<std::string>{"pause:banner", "shown:banner", "close:banner",
                                                   "resume:banner"}));
  EXPECT_TRUE(runUntil([&] { return seen.last == Size{1024, 600}; }));
  EXPECT_EQ(describe(seen.sizes), "600x1024 1024x600") << "not one turn for the banner and back";
}

}  // namespace
}  // namespace zelvora::test
