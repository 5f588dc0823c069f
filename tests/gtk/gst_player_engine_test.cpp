#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/SdkTest.h"
#include "zelvora/Log.h"
#include "zelvora/platform/gtk/GstPlayerEngine.h"
#include "zelvora/platform/gtk/GtkPlatform.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/ui/Button.h"

// Last: X11's macros would change the names above.
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

using namespace zelvora::platform;
using testing::AllOf;
using testing::ElementsAre;
using testing::Ge;
using testing::IsEmpty;
using testing::Lt;
using zelvora::platform::gtk::GstPlayerEngine;

namespace {

const std::filesystem::path sample = ZELVORA_SERVER_ASSETS_DIR "/sample-video.webm";

class GstPlayerEngineTest : public ::testing::Test {
 protected:
  GstPlayerEngineTest() {
    // After the platform, which installs an engine of its own.
    gtk::installGstPlayerEngine();
    zelvora::setLogSink([this](std::string_view line) { lines.emplace_back(line); });
  }
  ~GstPlayerEngineTest() override { zelvora::setLogSink({}); }

  static HostEnvironment environment() {
    HostEnvironment environment;
    environment.screenWidth = 320;
    environment.screenHeight = 480;
    return environment;
  }

  bool waitFor(const std::function<bool()>& done, double seconds = 10) {
    return platform.mainQueue().runUntil(done, seconds);
  }

  zelvora::test::TemporaryFolder folder;
  gtk::GtkPlatform platform{environment(), gtk::UrlMode::record};
  std::vector<std::string> lines;
};

TEST_F(GstPlayerEngineTest, PlaysTheSampleReportingEachSecondThePauseAndTheEnd) {
  auto player = Player::make(sample.string());
  ASSERT_TRUE(waitFor([&] { return player->status() != PlayerItemStatus::unknown; }));
  ASSERT_EQ(player->status(), PlayerItemStatus::readyToPlay);
  const auto duration = player->duration();
  ASSERT_TRUE(duration);
  EXPECT_NEAR(*duration, 8, 0.1);

  std::vector<double> times, rates;
  player->addPeriodicTimeObserver(1, [&](double time) { times.push_back(time); });
  player->addRateObserver([&] { rates.push_back(player->rate()); });
  player->play();
  // The report for 1 s waits for the decoded position to get there.
  ASSERT_TRUE(waitFor([&] { return times.size() == 2; }));
  EXPECT_GT(player->currentTime(), 0.9);
  player->pause();
  const double pausedAt = player->currentTime();
  waitFor([] { return false; }, 0.3);
  EXPECT_EQ(player->currentTime(), pausedAt);

  player->play();
  ASSERT_TRUE(waitFor([&] { return player->rate() == 0; }, 20));
  EXPECT_THAT(rates, ElementsAre(1, 0, 1, 0));
  // The length is known exactly once every stream has been decoded to its end.
  const double end = player->duration().value_or(0);
  EXPECT_NEAR(end, 8, 0.1);
  // The sample lasts a little over 8 s, so the report for 8 s may come just before the end's.
  if (times.size() > 10 && times[times.size() - 2] == 8 && end > 8) times.erase(times.end() - 2);
  // The reports on starting come a moment after it, from wherever playback is then.
  EXPECT_THAT(times, ElementsAre(AllOf(Ge(0), Lt(1)), 1, AllOf(Ge(pausedAt), Lt(2)), 2, 3, 4, 5, 6,
                                 7, end));
  EXPECT_EQ(player->currentTime(), end);
  player->play();  // at the end: nothing
  EXPECT_EQ(player->rate(), 0);
  // The picture opened no desktop window of its own, and with nothing presented the platform
  // has none yet either.
  GList* toplevels = gtk_window_list_toplevels();
  int shown = 0;
  for (GList* entry = toplevels; entry; entry = entry->next)
    shown += gtk_widget_get_visible(GTK_WIDGET(entry->data));
  g_list_free(toplevels);
  EXPECT_EQ(shown, 0);
  EXPECT_THAT(lines, IsEmpty());
}

TEST_F(GstPlayerEngineTest, OpensFileUrlsEscapedOrNotAndFailsOnWhatIsNotMedia) {
  const auto directory = folder.path() / "a clip";
  std::filesystem::create_directories(directory);
  const auto copy = directory / "#1.webm";
  std::filesystem::copy_file(sample, copy);
  gchar* escaped = g_filename_to_uri(copy.c_str(), nullptr, nullptr);
  const auto text = folder.path() / "notes.webm";
  std::ofstream(text) << "not a video\n";
  const std::string missing = (folder.path() / "missing.webm").string();

  std::vector<std::shared_ptr<Player>> playable = {Player::make(std::string(escaped)),
                                                   Player::make("file://" + copy.string())};
  g_free(escaped);
  auto missingPlayer = Player::make(missing);
  EXPECT_EQ(missingPlayer->status(), PlayerItemStatus::failed);
  auto notMedia = Player::make(text.string());
  ASSERT_TRUE(waitFor([&] {
    for (const auto& player : playable)
      if (player->status() == PlayerItemStatus::unknown) return false;
    return notMedia->status() != PlayerItemStatus::unknown;
  }));

  for (const auto& player : playable) {
    EXPECT_EQ(player->status(), PlayerItemStatus::readyToPlay);
    EXPECT_NEAR(player->duration().value_or(0), 8, 0.1);
  }
  for (const auto& player : {missingPlayer, notMedia}) {
    EXPECT_EQ(player->status(), PlayerItemStatus::failed);
    EXPECT_FALSE(player->duration());
    player->play();
    EXPECT_EQ(player->rate(), 0);
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("media: " + missing + ": ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("media: " + text.string() + ": ", 0), 0u) << lines[1];
}

TEST_F(GstPlayerEngineTest, ClicksOnThePictureReachTheModelBelow) {
  platform.showWindow();
  ASSERT_TRUE(waitFor([&] { return platform.framesDrawn() > 0; }));
  struct Target {
    void hit() { ++hits; }
    int hits = 0;
  };
  auto target = std::make_shared<Target>();
  auto button = Button::make(ButtonType::custom);
  button->frame = {40, 100, 200, 120};
  button->addTarget(target, &Target::hit, ControlEvent::touchUpInside);
  platform.rootViewController()->view()->addSubview(button);
  auto player = Player::make(sample.string());
  auto engine = std::dynamic_pointer_cast<GstPlayerEngine>(player->engine());
  ASSERT_TRUE(engine);
  GtkWidget* frame = engine->videoWidget();
  ASSERT_TRUE(GTK_IS_CONTAINER(frame));
  platform.nativeLayer().attach(frame, button);
  // The sink's widget comes into the frame once prerolled.
  ASSERT_TRUE(waitFor([&] {
    GList* children = gtk_container_get_children(GTK_CONTAINER(frame));
    const bool shown = children && gtk_widget_get_mapped(GTK_WIDGET(children->data)) &&
                       gtk_widget_get_allocated_width(GTK_WIDGET(children->data)) == 200;
    g_list_free(children);
    return shown;
  }));

  // The user's mouse, faked in the X server.
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(platform.gtkWindow()));
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(window));
  int left = 0, top = 0;
  gdk_window_get_origin(window, &left, &top);
  XTestFakeMotionEvent(display, -1, left + 140, top + 160, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
  EXPECT_TRUE(waitFor([&] { return target->hits == 1; }, 5));
}

}  // namespace
