// The portable view toolkit on the headless platform: the layout pass, view-controller life
// events around presentation and dismissal, and rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/SdkTest.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/ViewController.h"
#include "zelvora/platform/ui/Window.h"

namespace zelvora::platform::headless {
namespace {

using A = LayoutAttribute;
using Events = std::vector<std::string>;

void pin(const std::shared_ptr<View>& item, A attribute, const std::shared_ptr<View>& toItem,
         A toAttribute, double constant = 0, double multiplier = 1) {
  LayoutConstraint::make(item, attribute, LayoutRelation::equal, toItem, toAttribute, multiplier,
                         constant)
      ->setActive(true);
}

void fix(const std::shared_ptr<View>& item, A attribute, double constant) {
  pin(item, attribute, nullptr, A::notAnAttribute, constant);
}

template <class T = View>
std::shared_ptr<T> constrained(const std::shared_ptr<View>& parent) {
  auto view = std::make_shared<T>();
  view->translatesAutoresizingMaskIntoConstraints = false;
  parent->addSubview(view);
  return view;
}

/// Records its life events into a log shared with other controllers, as "name.event".
class RecordingController : public ViewController {
 public:
  RecordingController(std::string name, Events& log) : name_(std::move(name)), log_(log) {}

  void viewDidLoad() override { record("viewDidLoad"); }
  void viewWillAppear(bool) override { record("viewWillAppear"); }
  void viewDidAppear(bool) override { record("viewDidAppear"); }
  void viewWillDisappear(bool) override { record("viewWillDisappear"); }
  void viewDidDisappear(bool) override { record("viewDidDisappear"); }
  void viewDidLayoutSubviews() override { record("viewDidLayoutSubviews"); }
  void viewWillTransition(Size size) override {
    record("viewWillTransition " + std::to_string(int(size.width)) + "x" +
           std::to_string(int(size.height)));
  }
  OrientationMask supportedInterfaceOrientations() const override { return orientations; }

  /// This controller's events, a run of repeated layout passes counting as one; without
  /// layout passes at all unless `layouts`.
  Events events(bool layouts = true) const {
    Events mine;
    for (const auto& entry : log_) {
      if (entry.rfind(name_ + ".", 0) != 0) continue;
      auto event = entry.substr(name_.size() + 1);
      if (layouts || event != "viewDidLayoutSubviews") mine.push_back(std::move(event));
    }
    mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
    return mine;
  }

  OrientationMask orientations = OrientationMask::all();

 private:
  void record(const std::string& event) { log_.push_back(name_ + "." + event); }

  std::string name_;
  Events& log_;
};

class ViewToolkitTest : public ::testing::Test {
 protected:
  static HostEnvironment environment(const test::TemporaryFolder& folder) {
    HostEnvironment env;
    env.configDirectory = folder.path() / "config";
    env.cachesDirectory = folder.path() / "caches";
    env.temporaryDirectory = folder.path() / "tmp";
    return env;
  }

  std::shared_ptr<RecordingController> controller(const std::string& name) {
    return std::make_shared<RecordingController>(name, log);
  }
  bool onScreen(const std::shared_ptr<ViewController>& controller) const {
    return controller->isViewLoaded() && controller->view()->superview() == platform.window();
  }

  test::TemporaryFolder folder;
  HeadlessPlatform platform{environment(folder), ClockMode::manual};
  TestDriver driver{platform};
  RunLoop& loop = platform.runLoop();
  Events log;
};

TEST_F(ViewToolkitTest, ConstraintsPlaceViewsAgainstParentSiblingsAndConstants) {
  auto root = View::make({0, 0, 400, 800});
  auto header = constrained(root);
  pin(header, A::leading, root, A::leading, 10);
  pin(header, A::trailing, root, A::trailing, -10);
  pin(header, A::top, root, A::top, 20);
  fix(header, A::height, 50);

  auto body = constrained(root);
  pin(body, A::top, header, A::bottom, 8);
  pin(body, A::leading, header, A::leading);
  pin(body, A::width, root, A::width, 0, 0.5);
  pin(body, A::bottom, root, A::bottom, -30);

  auto badge = constrained(root);
  pin(badge, A::centerX, root, A::centerX);
  pin(badge, A::centerY, root, A::centerY, 15);
  fix(badge, A::width, 40);
  fix(badge, A::height, 30);

  // A label takes its text's size where nothing else decides it.
  auto title = constrained<Label>(root);
  title->text = "Hello";
  title->font.size = 20;
  pin(title, A::leading, body, A::trailing, 5);
  pin(title, A::top, body, A::top);

  // A frame view lays out a child inside its own bounds.
  auto inner = constrained(body);
  pin(inner, A::trailing, body, A::trailing, -4);
  pin(inner, A::bottom, body, A::bottom, -4);
  pin(inner, A::width, body, A::width, 0, 0.25);
  pin(inner, A::height, inner, A::width);

  // A view that keeps its frame ignores constraints.
  auto fixed = View::make({1, 2, 3, 4});
  root->addSubview(fixed);
  fix(fixed, A::width, 100);

  root->layoutIfNeeded();
  EXPECT_EQ(header->frame, (Rect{10, 20, 380, 50}));
  EXPECT_EQ(body->frame, (Rect{10, 78, 200, 692}));
  EXPECT_EQ(badge->frame, (Rect{180, 400, 40, 30}));
  EXPECT_EQ(title->frame, (Rect{215, 78, 55, 24}));
  EXPECT_EQ(inner->frame, (Rect{146, 638, 50, 50}));
  EXPECT_EQ(inner->frameInRoot(), (Rect{156, 716, 50, 50}));
  EXPECT_EQ(fixed->frame, (Rect{1, 2, 3, 4}));
}

TEST_F(ViewToolkitTest, RequiredConstraintsOutweighIntrinsicSizes) {
  auto root = View::make({0, 0, 400, 800});
  auto first = constrained<Label>(root);
  first->text = "Continue";
  auto second = constrained<Label>(root);
  second->text = "No";
  pin(first, A::leading, root, A::leading);
  pin(first, A::top, root, A::top);
  pin(second, A::leading, first, A::trailing);
  pin(second, A::top, first, A::top);
  pin(second, A::width, first, A::width);

  root->layoutIfNeeded();
  EXPECT_EQ(first->frame.width, measureText("Continue", first->font).width);
  EXPECT_EQ(second->frame.width, first->frame.width);
}

TEST_F(ViewToolkitTest, ParentTakesItsHeightFromAChildsIntrinsicSize) {
  auto root = platform.rootViewController()->view();
  auto frameView = constrained(root);
  pin(frameView, A::leading, root, A::leading, 20);
  pin(frameView, A::trailing, root, A::trailing, -20);
  pin(frameView, A::top, root, A::top, 100);
  auto imageView = constrained<ImageView>(frameView);
  imageView->image = std::make_shared<Image>(30, 40, std::vector<std::uint8_t>(30 * 40 * 4));
  pin(imageView, A::leading, frameView, A::leading, 5);
  pin(imageView, A::trailing, frameView, A::trailing, -5);
  pin(imageView, A::top, frameView, A::top, 5);
  pin(imageView, A::bottom, frameView, A::bottom, -5);

  // Activating constraints asks the window for a layout pass at the end of the task.
  loop.runPending();
  EXPECT_EQ(frameView->frame, (Rect{20, 100, 374, 50}));
  EXPECT_EQ(imageView->frame, (Rect{5, 5, 364, 40}));
}

TEST_F(ViewToolkitTest, PresentationAndDismissalTellLifeEventsInOrder) {
  auto root = controller("root");
  platform.window()->setRootViewController(root);
  log.clear();

  auto ad = controller("ad");
  bool presented = false;
  root->present(ad, true, [&] { presented = true; });
  EXPECT_TRUE(onScreen(ad));
  EXPECT_EQ(ad->view()->frame, platform.window()->bounds());
  loop.advance(ViewController::transitionDuration - 0.01);
  EXPECT_FALSE(presented);
  loop.advance(0.02);
  EXPECT_TRUE(presented);
  EXPECT_EQ(ad->events(),
            (Events{"viewDidLoad", "viewWillAppear", "viewDidLayoutSubviews", "viewDidAppear"}));
  // A full-screen presentation hides the presenter's screen.
  EXPECT_EQ(root->events(false), (Events{"viewWillDisappear", "viewDidDisappear"}));

  log.clear();
  bool dismissed = false;
  ad->dismiss(true, [&] { dismissed = true; });
  EXPECT_EQ(log, (Events{"ad.viewWillDisappear", "root.viewWillAppear"}));
  loop.advance(ViewController::transitionDuration);
  EXPECT_TRUE(dismissed);
  EXPECT_EQ(log, (Events{"ad.viewWillDisappear", "root.viewWillAppear", "ad.viewDidDisappear",
                         "root.viewDidAppear"}));
  EXPECT_FALSE(onScreen(ad));
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(ViewToolkitTest, OverFullScreenKeepsThePresenterOnScreen) {
  auto root = controller("root");
  platform.window()->setRootViewController(root);
  auto overlay = controller("overlay");
  overlay->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  log.clear();

  root->present(overlay, false);
  loop.runPending();
  overlay->dismiss(false);
  loop.runPending();
  EXPECT_EQ(overlay->events(), (Events{"viewDidLoad", "viewWillAppear", "viewDidLayoutSubviews",
                                       "viewDidAppear", "viewWillDisappear", "viewDidDisappear"}));
  EXPECT_TRUE(root->events(false).empty());
}

TEST_F(ViewToolkitTest, PresentingDuringATransitionWaitsForItsEnd) {
  auto first = controller("first");
  auto second = controller("second");
  auto root = platform.rootViewController();
  root->present(first, true);
  first->present(second, true);
  EXPECT_TRUE(platform.window()->isTransitioning());
  EXPECT_FALSE(second->isViewLoaded());

  loop.advance(ViewController::transitionDuration);
  // The second presentation started once the first one was over.
  EXPECT_EQ(first->events(false),
            (Events{"viewDidLoad", "viewWillAppear", "viewDidAppear", "viewWillDisappear"}));
  EXPECT_EQ(second->events(false), (Events{"viewDidLoad", "viewWillAppear"}));
  loop.advance(ViewController::transitionDuration);
  EXPECT_EQ(second->events(false).back(), "viewDidAppear");
  EXPECT_EQ(platform.window()->viewControllerStack(),
            (std::vector<std::shared_ptr<ViewController>>{root, first, second}));

  // Dismissing from the root takes down everything above it.
  root->dismiss(false);
  loop.runPending();
  EXPECT_EQ(platform.window()->topViewController(), root);
  EXPECT_FALSE(onScreen(first));
  EXPECT_FALSE(onScreen(second));
  EXPECT_EQ(second->events(false).back(), "viewDidDisappear");
}

TEST_F(ViewToolkitTest, RotationFollowsTheTopControllersOrientations) {
  auto game = controller("game");
  game->orientations = OrientationMask::landscape();
  platform.rootViewController()->present(game, false);
  loop.runPending();
  const Size portrait = platform.window()->frame.size();
  log.clear();

  EXPECT_TRUE(driver.rotate(InterfaceOrientation::landscapeLeft));
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::landscapeLeft);
  EXPECT_EQ(platform.window()->frame.size(), (Size{portrait.height, portrait.width}));
  EXPECT_EQ(game->view()->frame.size(), platform.window()->frame.size());
  EXPECT_EQ(game->events(), (Events{"viewWillTransition 896x414", "viewDidLayoutSubviews"}));

  log.clear();
  EXPECT_FALSE(driver.rotate(InterfaceOrientation::portrait));
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::landscapeLeft);
  EXPECT_EQ(platform.window()->frame.size(), (Size{portrait.height, portrait.width}));
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace zelvora::platform::headless
