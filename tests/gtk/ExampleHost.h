#pragma once

// An example host program run against the reference server (a portrait banner in placement "p",
// and another in "q"), in the test's X server, and what a person at that screen would do and
// see.

#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "XServer.h"
#include "support/SdkTest.h"
#include "zelvora/server/ReferenceServer.h"

namespace zelvora::test {

/// The hosts' field.
constexpr unsigned long green = 0x00ff00;

class ExampleHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    fs::copy(ZELVORA_SERVER_ASSETS_DIR, folder.path() / "assets", fs::copy_options::recursive);
    server::ServerOptions options;
    const auto banner = [](const std::string& id) {
      return placementObject("enabled",
                             JSON::array({adObject(id, "banner",
                                                   {{"ctv", "{server}/assets/sample-banner.png"},
                                                    {"imp", "{server}/t/imp"}})}));
    };
    options.campaigns = campaignsFor("app", {{"p", banner("b")}, {"q", banner("c")}});
    options.assetDirectory = folder.path() / "assets";
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR"})
      setenv(name, folder.path().c_str(), 1);
    setenv("G_DEBUG", "fatal-criticals", 1);
  }

  /// Starts `program` with `--placement placement`, waits for that ad to be ready and its window
  /// `title` to show its field, and reads where its "next level" button is (`prefix` + "button x
  /// y w h").
  void start(const char* program, const std::string& title, const std::string& prefix,
             const std::string& placement = "p") {
    prefix_ = prefix;
    placement_ = placement;
    host = std::make_unique<HostProgram>(
        std::vector<std::string>{program, "--placement", placement, "app", server->endpointUrl()});
    ASSERT_TRUE(host->started());
    ASSERT_GE(host->waitForLine(prefix + "onAdReady " + placement, 30), 0) << "no ad became ready";
    ASSERT_TRUE(eventually(
        [&] {
          for (const auto& shown : viewableTopLevels(display))
            if (shown.name == title) window = shown;
          return window && countPixels(display, window->id, green) > 0;
        },
        10))
        << "the host's window never showed its field";
    ASSERT_GE(host->waitForLine(prefix + "button ", 5), 0);
    // The latest place: the first ones may come before the window's layout.
    std::string place;
    for (const auto& line : host->lines())
      if (line.rfind(prefix + "button ", 0) == 0) place = line;
    std::istringstream(place.substr(prefix.size() + 7)) >> button.x >> button.y >> button.width >>
        button.height;
    field = countPixels(display, window->id, green);
    expectOneWindow("before");
  }

  /// Clicks "next level": the game reaches `level`, pauses and the ad shows. Returns the line
  /// of the ad's onAdShown (at or after line `from`), or -1 with a fatal failure.
  long nextLevelShowsTheAd(int level, std::size_t from) {
    clickNextLevel();
    const long paused = waitFor("onAdWillPresentScreen " + placement_, from);
    const long shown = waitFor("onAdShown " + placement_, from);
    [&] { ASSERT_GE(shown, 0) << "level " << level << ": the ad did not show\n" << output(); }();
    EXPECT_GE(waitFor("level " + std::to_string(level)), 0);
    EXPECT_TRUE(paused >= 0 && paused < shown) << "the game did not pause first\n" << output();
    return shown;
  }
  /// Clicks the ad's close button. Returns the line where the game resumed (after the ad's
  /// onAdClose, after the onAdShown at line `shown`), or -1 with a fatal failure.
  long closeTheAd(long shown) {
    clickClose();
    const long closed = waitFor("onAdClose " + placement_, static_cast<std::size_t>(shown));
    [&] { ASSERT_GE(closed, 0) << "the close button did not close the ad\n" << output(); }();
    const long resumed =
        waitFor("onAdDidDismissScreen " + placement_, static_cast<std::size_t>(closed));
    [&] { ASSERT_GE(resumed, 0) << "the game did not resume after the close\n" << output(); }();
    return resumed;
  }
  /// Only the host's own window is on screen.
  void expectOneWindow(const char* when) {
    const auto shown = viewableTopLevels(display);
    std::cout << when << ":\n" << describe(shown);
    ASSERT_EQ(shown.size(), 1u) << describe(shown);
    EXPECT_EQ(shown.front().id, window->id);
  }

  void clickNextLevel() {
    clickAt(display, window->x + button.x + button.width / 2,
            window->y + button.y + button.height / 2);
  }
  /// The close button of the portrait banner letterboxed in the landscape window: 40 points
  /// from the top and 20 from the right of its screen.
  void clickClose() {
    const int screenWidth = window->height * window->height / window->width;
    clickAt(display, window->x + (window->width - screenWidth) / 2 + screenWidth - 20,
            window->y + 40);
  }
  /// What the host printed so far.
  std::string output() {
    std::string text;
    for (const auto& line : host->lines()) text += line + "\n";
    return text;
  }
  long waitFor(const std::string& event, std::size_t from = 0, double seconds = 10) {
    return host->waitForLine(prefix_ + event, seconds, from);
  }

  /// Saves what `shown` shows as a PNG into $ZELVORA_SCREENSHOT_DIR, when set.
  void screenshot(const TopLevel& shown, const std::string& name) {
    const char* into = std::getenv("ZELVORA_SCREENSHOT_DIR");
    if (!into) return;
    GdkWindow* root = gdk_get_default_root_window();
    if (GdkPixbuf* pixbuf =
            gdk_pixbuf_get_from_window(root, shown.x, shown.y, shown.width, shown.height)) {
      gdk_pixbuf_save(pixbuf, (std::string(into) + "/" + name).c_str(), "png", nullptr, nullptr);
      g_object_unref(pixbuf);
    }
  }

  TemporaryFolder folder;
  Display* display = nullptr;
  std::unique_ptr<server::ReferenceServer> server;
  std::unique_ptr<HostProgram> host;
  std::optional<TopLevel> window;
  struct {
    int x = 0, y = 0, width = 0, height = 0;
  } button;
  /// How many pixels of the field the window showed before any ad.
  long field = 0;

 private:
  std::string prefix_;
  std::string placement_;
};

}  // namespace zelvora::test
