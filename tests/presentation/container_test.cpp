// The interstitial's container and view controller: content insets and the close button per
// orientation, the orientations allowed, and the life events reported to the ad.
#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "support/SdkTest.h"

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

using ContainerTest = PlatformTest;

// Portrait leaves 40 points at the top, landscape and unknown 20; 20 on the sides and 40 at
// the bottom; the close button is centred on the content's top-right corner.
TEST_F(ContainerTest, ContentInsetsAndCloseButton) {
  for (const auto& [orientation, top] :
       {std::pair{Orientation::portrait, 40}, std::pair{Orientation::portraitUpsideDown, 40},
        std::pair{Orientation::landscapeLeft, 20}, std::pair{Orientation::unknown, 20}}) {
    auto container = AdContainerView::make(orientation);
    container->layoutIfNeeded();
    const Rect content = container->contentView->frame;
    EXPECT_EQ(content, (Rect{20, double(top), 374, 896.0 - top - 40})) << int(orientation);
    EXPECT_EQ(container->getContentYPosition(), top);
    EXPECT_EQ(container->getContentHeight(), 896 - top - 40);
    EXPECT_EQ(container->closeButton->frame, (Rect{374, top - 20.0, 40, 40}));
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
        std::pair{Orientation::portraitUpsideDown, OrientationMask::all()}}) {
    controller.requestedOrientation = requested;
    EXPECT_EQ(controller.supportedInterfaceOrientations(), mask) << int(requested);
  }
}

// Appeared once the transition ended; the close button only tells the delegate; layout passes
// before the first rotation are no size changes, every one after it is.
TEST_F(ContainerTest, LifeEventsReachTheAdInOrder) {
  auto events = std::make_shared<RecordingEvents>();
  auto controller = std::make_shared<InterstitialViewController>();
  auto container = AdContainerView::make(Orientation::portrait);
  container->closeEventDelegate = events;
  controller->delegate = events;
  controller->setView(container);
  controller->presentingVC = root();
  controller->presentSelf();
  driver.settle();
  EXPECT_TRUE(events->events.empty()) << "appeared before the transition ended";
  runLoop().advance(0.3);

  EXPECT_TRUE(driver.tapAt(driver.findById("close")->frameInRoot().center()));
  EXPECT_EQ(top(), controller);
  platform_->window()->layout();
  ASSERT_TRUE(driver.rotate(Orientation::landscapeLeft));
  platform_->window()->layout();
  root()->dismiss(true);
  driver.settle();
  runLoop().advance(0.3);
  EXPECT_EQ(events->events, (std::vector<std::string>{"appeared", "close", "sizeChanged",
                                                      "sizeChanged", "disappeared"}));
  EXPECT_EQ(top(), root());
}

}  // namespace
}  // namespace zelvora::test
