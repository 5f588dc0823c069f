// Every format in a host's GTK window of the shapes our users have, as a person sees it: the ad
// is shown inside the window, the window is resized through the sizes while it is up, and a
// screenshot at each size is measured. A round logo must come out round, the call to action and
// the close button inside the window, the picture no larger than twice its own size, and the
// host's content dimmed around the ad rather than blacked out. In test mode each carries its
// "Test ad" mark, drawn where the model puts it.
//
// ZELVORA_SCREENSHOTS_DIR keeps the screenshots there (scripts/screenshots fills
// docs/screenshots/); GDK_SCALE=2 runs the same at twice the pixels.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/Picture.h"
#include "support/SdkTest.h"
#include "util/TestingReset.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace zelvora::test {
namespace {

// The sample creatives' round yellow logo and green call to action.
bool logo(Rgb c) {
  return c.r > 220 && c.g > 170 && c.b < 110;
}
bool callToAction(Rgb c) {
  return c.r < 110 && c.g > 150 && c.b < 140 && c.g - c.r > 80;
}

/// Whether the test page's blue spans most of the window both ways.
bool fillsWindow(const Picture& picture) {
  const Box page = picture.find([](Rgb c) { return c.r < 60 && c.b > 160 && c.g < 100; });
  return page.width() > 0.6 * picture.width() && page.height() > 0.6 * picture.height();
}

constexpr Rgb kHost{230, 30, 200};  // the host's content: nothing an ad draws

/// A page with the same logo and call to action as the sample pictures, drawn at the page's
/// size: it shows whether the page takes the room it is given, undistorted.
const char* kPage = R"(<!DOCTYPE html><html><body style="margin:0;background:#2040c0;
height:100vh"><div style="position:absolute;left:50%;top:40%;width:30vmin;height:30vmin;
transform:translate(-50%,-50%);border-radius:50%;background:#ffcc33"></div>
<div style="position:absolute;left:50%;bottom:4vmin;width:40vmin;height:12vmin;
transform:translateX(-50%);background:#22bb55"></div></body></html>)";

struct Format {
  const char* name;
  const char* subtype;
  JSON data;
  /// The picture the ad shows, when it is one: its logo bounds the upscaling.
  const char* picture;
  /// Whether the host shows through around the ad (a video's screens cover it with black).
  bool dimsHost;
};

std::shared_ptr<platform::View> findView(const std::shared_ptr<platform::View>& root,
                                         const std::string& identifier) {
  if (root->accessibilityIdentifier == identifier && !root->isHidden) return root;
  for (const auto& child : root->subviews())
    if (auto found = findView(child, identifier)) return found;
  return nullptr;
}

void PrintTo(const Format& format, std::ostream* out) {
  *out << format.name;
}

std::vector<Format> formats() {
  return {
      {"banner",
       "banner",
       {{"ctv", "{server}/assets/sample-banner.png"}},
       "sample-banner.png",
       true},
      {"landing-card",
       "video",
       {{"video", "{server}/assets/sample-video.webm"},
        {"duration", 1},
        {"landingCard", "{server}/assets/sample-landing-card.png"}},
       "sample-landing-card.png",
       false},
      {"html", "html", {{"markup", kPage}}, nullptr, true},
      {"mraid", "mraidTag", {{"isMraid", true}, {"markup", kPage}}, nullptr, true},
  };
}

struct WindowSize {
  int width, height;
};

class ScreenMatrixTest : public ::testing::TestWithParam<Format> {
 protected:
  ScreenMatrixTest() {
    fs::create_directories(assets);
    fs::copy(ZELVORA_SERVER_ASSETS_DIR, assets, fs::copy_options::recursive);
    gtk_init(nullptr, nullptr);
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* content = gtk_drawing_area_new();
    g_signal_connect(content, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) {
                       cairo_set_source_rgb(cr, kHost.r / 255.0, kHost.g / 255.0, kHost.b / 255.0);
                       cairo_paint(cr);
                       return TRUE;
                     }),
                     nullptr);
    gtk_container_add(GTK_CONTAINER(window), content);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 720);
    gtk_widget_show_all(window);
    platform::HostEnvironment env;
    env.configDirectory = folder.path() / "config";
    env.cachesDirectory = folder.path() / "caches";
    env.temporaryDirectory = folder.path() / "tmp";
    platform.emplace(env, platform::gtk::UrlMode::record, platform::gtk::Hosting::inside(window));
    ZelController::sharedInstance().setEventDelegate(delegate);
  }
  ~ScreenMatrixTest() override {
    internal::resetProcessState();
    if (server) server->stop();
    platform.reset();
    gtk_widget_destroy(window);
  }

  bool runUntil(const std::function<bool()>& done, double seconds = 15) {
    return platform->mainQueue().runUntil(done, seconds);
  }

  /// Resizes the host's window and waits until the ad's screen has taken the new size.
  bool resize(WindowSize size) {
    gtk_window_resize(GTK_WINDOW(window), size.width, size.height);
    return runUntil([&] {
      const auto model = platform->window()->frame.size();
      const auto top = platform->window()->topViewController();
      return top && top->view()->frame.size() == model &&
             (model == platform::Size{double(size.width), double(size.height)} ||
              // A screen that keeps its shape takes the largest size of it that fits.
              model.width == size.width || model.height == size.height);
    });
  }

  /// Shows the format's ad and waits for its screen with a close button (a video's card comes
  /// once the video ended).
  void showUntilClosable(const Format& format) {
    server::ServerOptions options;
    options.campaigns = oneAdCampaign("h", format.subtype, format.data);
    options.assetDirectory = assets;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    auto& sdk = ZelController::sharedInstance();
    sdk.setServerConfiguration(
        {.url = server->endpointUrl(), .caFile = {}, .timeoutSeconds = 10, .limits = {}});
    sdk.initialize("app");
    ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); })) << "not ready";
    sdk.showAd(platform->rootViewController(), "p");
    ASSERT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));
    ASSERT_TRUE(runUntil([&] { return findView(platform->window(), "close") != nullptr; }, 20));
  }

  /// A view's frame in the host's window: the model's window lies centred in it when it keeps
  /// a shape of its own.
  platform::Rect inHostWindow(const platform::View& view, WindowSize size) const {
    const auto model = platform->window()->frame.size();
    auto frame = view.frameInRoot();
    frame.x += (size.width - model.width) / 2;
    frame.y += (size.height - model.height) / 2;
    return frame;
  }

  TemporaryFolder folder;
  fs::path assets = folder.path() / "assets";
  GtkWidget* window = nullptr;
  std::optional<platform::gtk::GtkPlatform> platform;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::unique_ptr<server::ReferenceServer> server;
};

TEST_P(ScreenMatrixTest, FitsEveryWindowShapeUndistortedAndInside) {
  const Format& format = GetParam();
  showUntilClosable(format);
  if (HasFatalFailure()) return;

  std::optional<Box> sourceLogo, sourceAction;
  if (format.picture) {
    Picture source(assets / format.picture);
    ASSERT_TRUE(source.ok());
    sourceLogo = source.find(logo);
    sourceAction = source.find(callToAction);
  }
  const char* scaleText = std::getenv("GDK_SCALE");
  const int scale = scaleText ? std::max(1, std::atoi(scaleText)) : 1;
  const char* keep = std::getenv("ZELVORA_SCREENSHOTS_DIR");
  const std::vector<WindowSize> sizes =
      scale == 1 ? std::vector<WindowSize>{{1280, 720}, {1920, 1080}, {600, 1000}, {400, 300}}
                 : std::vector<WindowSize>{{960, 540}};
  for (const WindowSize size : sizes) {
    const std::string name = std::string(format.name) + "-" + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + (scale > 1 ? "@2x" : "");
    SCOPED_TRACE(name);
    ASSERT_TRUE(resize(size));
    const fs::path shot = (keep ? fs::path(keep) : folder.path()) / (name + ".png");
    // A page repaints in its own process, a moment after the window changed.
    std::optional<Picture> taken;
    for (int attempt = 0; attempt < 20; ++attempt) {
      ASSERT_TRUE(platform->screenshot(shot));
      taken.emplace(shot);
      if (taken->ok() && !taken->find(logo).empty() && !taken->find(callToAction).empty() &&
          (format.picture || fillsWindow(*taken)))
        break;
      runUntil([] { return false; }, 0.15);
    }
    const Picture& picture = *taken;
    ASSERT_TRUE(picture.ok());
    ASSERT_EQ(picture.width(), size.width * scale);
    ASSERT_EQ(picture.height(), size.height * scale);

    // Round, whole, and inside the window.
    const Box round = picture.find(logo);
    ASSERT_FALSE(round.empty()) << "no logo";
    EXPECT_NEAR(round.width(), round.height(), std::max(3.0, 0.03 * round.width()))
        << "the logo is not round";
    const Box action = picture.find(callToAction);
    ASSERT_FALSE(action.empty()) << "no call to action";
    EXPECT_GT(action.left, 0);
    EXPECT_GT(action.top, 0);
    EXPECT_LT(action.right, picture.width() - 1);
    EXPECT_LT(action.bottom, picture.height() - 1) << "the call to action is cut off";
    // A page takes the window's shape, whichever way the window turned.
    if (!format.picture) {
      EXPECT_TRUE(fillsWindow(picture)) << "the page does not fill the window";
    }
    if (sourceLogo && sourceAction) {
      // Scaled as one: the call to action keeps its shape and its size beside the logo.
      const double factor = double(round.width()) / sourceLogo->width();
      EXPECT_NEAR(action.width(), sourceAction->width() * factor, 3 + 0.03 * action.width());
      EXPECT_NEAR(action.height(), sourceAction->height() * factor, 3 + 0.03 * action.height());
      EXPECT_LE(factor, 2.0 * scale + 0.05) << "a picture scaled up past twice its size";
    }

    // The close button, a white ring on black, lies inside the window.
    const auto close = findView(platform->window(), "close");
    ASSERT_TRUE(close);
    const auto frame = inHostWindow(*close, size);
    EXPECT_GE(frame.x, 0);
    EXPECT_GE(frame.y, 0);
    EXPECT_LE(frame.x + frame.width, size.width);
    EXPECT_LE(frame.y + frame.height, size.height);
    const Rgb ring = picture.at(int((frame.x + frame.width / 2) * scale), int(frame.y * scale + 1));
    EXPECT_GT(ring.r + ring.g + ring.b, 600) << "no close button drawn at its place";

    // The host shows through its corner, dimmed by the backdrop.
    if (!format.dimsHost) continue;
    const Rgb corner = picture.at(1, picture.height() - 2);
    EXPECT_NEAR(corner.r, kHost.r * 0.6, 4);
    EXPECT_NEAR(corner.g, kHost.g * 0.6, 4);
    EXPECT_NEAR(corner.b, kHost.b * 0.6, 4);
  }
}

// In test mode every format carries the "Test ad" mark where the model puts it, drawn over the
// ad (over the page's own widget too): yellow around dark text, in the ad's bottom-left corner
// clear of the close button, and as legible at a television's size as on a phone.
TEST_P(ScreenMatrixTest, TestModeMarksTheAdInItsCorner) {
  const Format& format = GetParam();
  ZelController::sharedInstance().setAdSettings({.testMode = true});
  showUntilClosable(format);
  if (HasFatalFailure()) return;
  const char* scaleText = std::getenv("GDK_SCALE");
  const int scale = scaleText ? std::max(1, std::atoi(scaleText)) : 1;
  const char* keep = std::getenv("ZELVORA_SCREENSHOTS_DIR");
  const std::vector<WindowSize> sizes = scale == 1
                                            ? std::vector<WindowSize>{{1280, 720}, {1080, 1920}}
                                            : std::vector<WindowSize>{{960, 540}, {540, 960}};
  for (const WindowSize size : sizes) {
    const std::string name = std::string(format.name) + "-test-mode-" + std::to_string(size.width) +
                             "x" + std::to_string(size.height) + (scale > 1 ? "@2x" : "");
    SCOPED_TRACE(name);
    ASSERT_TRUE(resize(size));
    // On the screen on top: a video's screen stays beneath its card.
    const auto screen = platform->window()->topViewController()->view();
    const auto mark = findView(screen, "test-ad");
    ASSERT_TRUE(mark);
    const auto box = inHostWindow(*mark, size);
    const auto close = inHostWindow(*findView(screen, "close"), size);
    const bool apart = box.x + box.width <= close.x || box.y >= close.y + close.height;
    EXPECT_TRUE(apart) << "the mark lies under the close button";
    EXPECT_GE(box.x, 0);
    EXPECT_LE(box.y + box.height, size.height);
    EXPECT_LT(box.x + box.width / 2, size.width / 2.0);
    EXPECT_GT(box.y + box.height / 2, size.height / 2.0);
    const auto model = platform->window()->frame.size();
    EXPECT_GE(box.height, 0.02 * std::min(model.width, model.height)) << "too small to read";

    const fs::path shot = (keep ? fs::path(keep) : folder.path()) / (name + ".png");
    // Its yellow beside the text (the left inset), and the dark text inside, as drawn over the
    // page once the page repainted at the new size (in its own process, a moment later).
    const auto yellowAt = [&](const Picture& picture) {
      const Rgb c = picture.at(int((box.x + 3) * scale), int((box.y + box.height / 2) * scale));
      return c.r > 230 && c.g > 190 && c.g < 235 && c.b < 40;
    };
    const auto darkInside = [&](const Picture& picture) {
      int dark = 0;
      // Inside the border.
      for (int y = int(box.y * scale) + 4; y < int((box.y + box.height) * scale) - 4; ++y)
        for (int x = int(box.x * scale) + 4; x < int((box.x + box.width) * scale) - 4; ++x) {
          const Rgb c = picture.at(x, y);
          dark += c.r + c.g + c.b < 150;
        }
      return dark;
    };
    bool yellow = false, text = false, page = format.picture != nullptr;
    for (int attempt = 0; attempt < 20 && !(yellow && text && page); ++attempt) {
      if (attempt > 0) runUntil([] { return false; }, 0.15);
      ASSERT_TRUE(platform->screenshot(shot));
      const Picture picture(shot);
      ASSERT_TRUE(picture.ok());
      yellow = yellowAt(picture);
      text = darkInside(picture) > 20;
      page = page || fillsWindow(picture);
    }
    EXPECT_TRUE(yellow) << "no mark drawn at its place";
    EXPECT_TRUE(text) << "no text on the mark";
    EXPECT_TRUE(page) << "the page did not take the window";
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ScreenMatrixTest, ::testing::ValuesIn(formats()),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace zelvora::test
