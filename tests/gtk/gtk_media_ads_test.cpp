// House videos and banners on the desktop backend: the real video decoded and shown by
// GStreamer under the model's overlay, the banner's image decoded into its frame.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gtk/GtkSdkTest.h"
#include "zelvora/platform/gtk/GstPlayerEngine.h"
#include "zelvora/platform/media/VideoView.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/ScreenViews.h"

namespace zelvora::test {
namespace {

using GtkMediaAdsTest = GtkSdkTest;

/// The texts of the labels under `root` that start with `prefix`.
void collectTexts(const std::shared_ptr<platform::View>& root, const std::string& prefix,
                  std::vector<std::string>& texts) {
  if (auto label = std::dynamic_pointer_cast<platform::Label>(root);
      label && !label->isHidden && label->text.rfind(prefix, 0) == 0 &&
      (texts.empty() || texts.back() != label->text))
    texts.push_back(label->text);
  for (const auto& child : root->subviews()) collectTexts(child, prefix, texts);
}

TEST_F(GtkMediaAdsTest, AVideoPlaysToItsAnnouncedLengthUnderItsCountdownsThenItsLandingCard) {
  initializeWith({{"video", "{server}/assets/sample-video.webm"},
                  {"duration", 8},
                  {"skippableIn", 5},
                  {"landingCard", "{server}/assets/sample-landing-card.png"},
                  {"imp", "{server}/t/imp"}},
                 "video");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  sdk().showAd(platform.rootViewController(), "p");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));
  const auto screen = platform.rootViewController()->presentedViewController()->view();
  const auto videos = platform::visibleViewsOfType<platform::VideoView>(*screen);
  ASSERT_FALSE(videos.empty());
  const auto videoView = videos.front();
  ASSERT_TRUE(videoView->player);
  const auto engine =
      std::dynamic_pointer_cast<platform::gtk::GstPlayerEngine>(videoView->player->engine());
  ASSERT_TRUE(engine) << "the video is not played by GStreamer";
  // The picture lies over the model's video view.
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(engine->videoWidget()); }));

  std::vector<std::string> skip, remaining;
  const bool cardCame = runUntil(
      [&] {
        // The landing card comes in a container of its own.
        const auto shown = platform.window();
        collectTexts(shown, "Skip", skip);
        collectTexts(shown, "Video will end in", remaining);
        return find(shown, "banner") && find(shown, "close");
      },
      30);
  ASSERT_TRUE(cardCame) << "the landing card did not come";
  // The pipeline's own position, not a clock's: the video was decoded to its end.
  EXPECT_NEAR(engine->currentTime(), 8, 0.5);
  // The picture goes with the video, leaving the card uncovered.
  EXPECT_TRUE(runUntil([&] { return !gtk_widget_get_mapped(engine->videoWidget()); }));
  EXPECT_EQ(skip, (std::vector<std::string>{"Skippable in 5 seconds", "Skippable in 4 seconds",
                                            "Skippable in 3 seconds", "Skippable in 2 seconds",
                                            "Skippable in 1 seconds", "Skip"}));
  ASSERT_GE(remaining.size(), 7u);
  EXPECT_EQ(remaining.front(), "Video will end in 8 seconds");
  EXPECT_EQ(remaining.back(), "Video will end in 0 seconds");
}

TEST_F(GtkMediaAdsTest, ABannersImageIsDrawnInsideItsWhiteFrame) {
  initializeWith({{"ctv", "{server}/assets/sample-banner.png"}, {"imp", "{server}/t/imp"}},
                 "banner");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  sdk().showAd(platform.rootViewController(), "p");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));
  const auto screen = platform.rootViewController()->presentedViewController()->view();
  const auto banner = std::dynamic_pointer_cast<platform::ImageView>(find(screen, "banner"));
  ASSERT_TRUE(banner && banner->image);
  EXPECT_GT(banner->image->width(), 0);

  std::shared_ptr<platform::View> frame = banner->superview();
  while (frame && !(frame->backgroundColor && *frame->backgroundColor == platform::Color::white()))
    frame = frame->superview();
  ASSERT_TRUE(frame) << "the image has no white frame";
  const auto image = banner->frameInRoot(), around = frame->frameInRoot();
  EXPECT_GT(image.width, 0);
  EXPECT_GT(image.height, 0);
  EXPECT_TRUE(around.contains({image.x, image.y}) &&
              around.contains({image.x + image.width - 1, image.y + image.height - 1}));
  // The window shows the picture: its middle pixel at the middle of the image view.
  const auto shot = folder.path() / "banner.png";
  ASSERT_TRUE(platform.screenshot(shot));
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(shot.c_str(), nullptr);
  ASSERT_NE(pixbuf, nullptr);
  const auto& picture = *banner->image;
  const auto* expected =
      &picture.rgba()[(static_cast<std::size_t>(picture.height() / 2) * picture.width() +
                       picture.width() / 2) *
                      4];
  const guchar* shown =
      gdk_pixbuf_get_pixels(pixbuf) +
      static_cast<int>(image.y + image.height / 2) * gdk_pixbuf_get_rowstride(pixbuf) +
      static_cast<int>(image.x + image.width / 2) * gdk_pixbuf_get_n_channels(pixbuf);
  for (int channel = 0; channel < 3; ++channel)
    EXPECT_NEAR(shown[channel], expected[channel], 24) << "channel " << channel;
  g_object_unref(pixbuf);
}

// The desktop window closed by its user (hidden) is not visible: the banner fails to show and
// nothing is presented; shown again, the window is visible and the banner shows.
TEST_F(GtkMediaAdsTest, ABannerInAClosedWindowIsNotShown) {
  initializeWith({{"ctv", "{server}/assets/sample-banner.png"}, {"imp", "{server}/t/imp"}},
                 "banner");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  GtkWidget* window = GTK_WIDGET(platform.gtkWindow());
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(window); }));
  gtk_window_close(platform.gtkWindow());
  ASSERT_TRUE(runUntil([&] { return !platform.window()->isVisible(); }));
  sdk().showAd(platform.rootViewController(), "p");
  EXPECT_EQ(delegate->events.back(), "onAdFailedToShow:p");
  EXPECT_FALSE(platform.rootViewController()->presentedViewController());

  gtk_widget_show(window);
  ASSERT_TRUE(runUntil([&] { return platform.window()->isVisible(); }));
  sdk().showAd(platform.rootViewController(), "p");
  EXPECT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));
}

}  // namespace
}  // namespace zelvora::test
