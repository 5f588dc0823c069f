// The player's view controller on screen, and view animations on the manual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/SdkTest.h"
#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/media/PlayerViewController.h"
#include "zelvora/platform/ui/Animation.h"

namespace zelvora::platform {
namespace {

class PlayerViewControllerTest : public test::PlatformTest {
 protected:
  PlayerViewControllerTest() { headless::installMediaBackend(); }
  ~PlayerViewControllerTest() override { installPlayerEngineFactory({}); }
};

TEST_F(PlayerViewControllerTest, ShowsThePictureUnderTheOverlayAtFullSize) {
  const auto video = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                     "server" / "assets" / "sample-video.webm";
  auto controller = std::make_shared<PlayerViewController>();
  controller->setPlayer(Player::make(video.string()));
  auto badge = View::make({10, 100, 100, 20});
  controller->contentOverlayView()->addSubview(badge);
  root()->present(controller, false);
  driver.settle();

  auto window = platform_->window();
  auto videoView = driver.find<VideoView>();
  ASSERT_NE(videoView, nullptr);
  EXPECT_EQ(videoView->frameInRoot(), window->bounds());
  EXPECT_EQ(controller->contentOverlayView()->frameInRoot(), window->bounds());
  EXPECT_EQ(driver.hitTest({20, 110}), badge) << "the overlay lies above the picture";

  controller->player()->play();
  runLoop().advance(2.5);
  EXPECT_EQ(videoView->describeContent(), video.string() + " 2.5s");

  // Both follow the window when it turns.
  ASSERT_TRUE(driver.rotate(InterfaceOrientation::landscapeLeft));
  EXPECT_EQ(videoView->frameInRoot(), window->bounds());
  EXPECT_EQ(controller->contentOverlayView()->frameInRoot(), window->bounds());

  // The platform's own controls: "Done" pauses and dismisses.
  ASSERT_TRUE(driver.tap(driver.findById("player-done")));
  runLoop().advance(1);
  EXPECT_EQ(controller->player()->rate(), 0);
  EXPECT_EQ(root()->presentedViewController(), nullptr);
}

TEST_F(PlayerViewControllerTest, AnimationsTakeTheTargetAtOnceAndCompleteAfterTheirDuration) {
  auto view = View::make();
  view->alpha = 0;
  int completions = 0;
  animate(
      3, [&] { view->alpha = 1; }, [&] { ++completions; });
  EXPECT_EQ(view->alpha, 1);
  runLoop().advance(2.9);
  EXPECT_EQ(completions, 0);
  runLoop().advance(0.1);
  EXPECT_EQ(completions, 1);

  animate(
      0,
      [&] {
        view->frame = {1, 2, 3, 4};
      },
      [&] { ++completions; });
  EXPECT_EQ(view->frame, (Rect{1, 2, 3, 4}));
  EXPECT_EQ(completions, 1) << "the completion never runs inside the call";
  driver.settle();
  EXPECT_EQ(completions, 2);
}

}  // namespace
}  // namespace zelvora::platform
