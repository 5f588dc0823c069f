// The interstitial's container and view controller: content insets and the close button per
// orientation, the orientations allowed, and the life events reported to the ad.
#include <memory>
#include <string>
#include <vector>

#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "support/SdkTest.h"
#include "zelvora/platform/headless/TestDriver.h"

namespace zelvora::test {
namespace {

using namespace platform;
using Orientation = InterfaceOrientation;

class RecordingEvents : public ViewControllerEvents, public CloseButtonEventDelegate {
 public:
  void onViewControllerAppeared() override { events.push_back("appeared"); }
  void onViewControllerDisappeared() override { events.push_back("disappeared"); }
  void onViewControllerSizeChanged() override { events.push_back("sizeChanged"); }
  void onClose() override { events.push_back("close"); }

  std::vector<std::string> events;
};

class ContainerTest : public SdkTest {
 protected:
  headless::TestDriver driver{*platform_};
  std::shared_ptr<RecordingEvents> events = std::make_shared<RecordingEvents>();
};

TEST_F(ContainerTest, ContentIsInsetAndTheCloseButtonSitsOnItsTopRightCorner) {
  // Portrait orientations leave 40 points at the top; landscape and unknown ones 20.
  for (const auto& [orientation, top] :
       {std::pair{Orientation::portrait, 40}, std::pair{Orientation::portraitUpsideDown, 40},
        std::pair{Orientation::landscapeLeft, 20}, std::pair{Orientation::unknown, 20}}) {
    SCOPED_TRACE(static_cast<int>(orientation));
    auto container = AdContainerView::make(orientation);
    container->layoutIfNeeded();
    const Rect content = container->contentView->frame;
    EXPECT_EQ(content, (Rect{20, double(top), 374, 896.0 - top - 40}));
    EXPECT_EQ(container->getContentXPosition(), 20);
    EXPECT_EQ(container->getContentYPosition(), top);
    EXPECT_EQ(container->getContentWidth(), 374);
    EXPECT_EQ(container->getContentHeight(), 896 - top - 40);
    EXPECT_EQ(container->closeButton->frame.size(), (Size{40, 40}));
    EXPECT_EQ(container->closeButton->frame.center(),
              (Point{content.x + content.width, content.y}));
  }

  // In a turned window the container takes the window's turned size.
  ASSERT_TRUE(driver.rotate(Orientation::landscapeLeft));
  auto landscape = AdContainerView::make(Orientation::landscapeLeft);
  landscape->layoutIfNeeded();
  EXPECT_EQ(landscape->contentView->frame, (Rect{20, 20, 856, 354}));
  EXPECT_EQ(landscape->closeButton->frame.center(), (Point{876, 20}));
}

TEST_F(ContainerTest, ViewControllerAllowsTheRequestedOrientations) {
  InterstitialViewController controller;
  EXPECT_EQ(controller.supportedInterfaceOrientations(), OrientationMask::all());
  for (const auto& [requested, mask] :
       {std::pair{Orientation::portrait, OrientationMask::portraitOnly()},
        std::pair{Orientation::landscapeLeft, OrientationMask::landscape()},
        std::pair{Orientation::landscapeRight, OrientationMask::landscape()},
        std::pair{Orientation::portraitUpsideDown, OrientationMask::all()},
        std::pair{Orientation::unknown, OrientationMask::all()}}) {
    controller.requestedOrientation = requested;
    EXPECT_EQ(controller.supportedInterfaceOrientations(), mask) << static_cast<int>(requested);
  }
}

TEST_F(ContainerTest, LifeEventsReachTheAdInOrderAndSizeChangesFollowTheFirstRotation) {
  auto controller = std::make_shared<InterstitialViewController>();
  auto container = AdContainerView::make(Orientation::portrait);
  container->closeEventDelegate = events;
  controller->delegate = events;
  controller->setView(container);
  controller->presentingVC = platform_->rootViewController();
  controller->presentSelf();
  driver.settle();
  EXPECT_TRUE(events->events.empty()) << "appeared before the transition ended";
  runLoop().advance(0.3);
  EXPECT_EQ(events->events, std::vector<std::string>{"appeared"});

  // The close button only tells the delegate; closing is the ad's business.
  const auto close = driver.findById("close");
  ASSERT_TRUE(close);
  EXPECT_TRUE(driver.tapAt(close->frameInRoot().center()));
  EXPECT_EQ(platform_->window()->topViewController(), controller);

  // Layout passes before any rotation are not size changes; after it, every one is.
  platform_->window()->layout();
  ASSERT_TRUE(driver.rotate(Orientation::landscapeLeft));
  EXPECT_TRUE(controller->orientationChanged);
  platform_->window()->layout();
  EXPECT_EQ(events->events,
            (std::vector<std::string>{"appeared", "close", "sizeChanged", "sizeChanged"}));

  platform_->rootViewController()->dismiss(true);
  driver.settle();
  EXPECT_EQ(events->events.back(), "disappeared");
  runLoop().advance(0.3);
  EXPECT_EQ(events->events.size(), 5u);
  EXPECT_EQ(platform_->window()->topViewController(), platform_->rootViewController());
}

}  // namespace
}  // namespace zelvora::test
