// The portable view toolkit on the headless platform: the layout pass, view-controller life
// events around presentation and dismissal, and the test driver's taps and snapshot. Rotation
// is checked where ads ask for their orientations (banner, video, container and MRAID tests).
#include <array>

#include "support/SdkTest.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/LayoutConstraint.h"
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

  /// This controller's events without layout passes (or, with `layouts`, a run of them
  /// counting as one).
  Events events(bool layouts = false) const {
    Events mine;
    for (const auto& entry : log_) {
      if (entry.rfind(name_ + ".", 0) != 0) continue;
      auto event = entry.substr(name_.size() + 1);
      if (layouts || event != "viewDidLayoutSubviews") mine.push_back(std::move(event));
    }
    mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
    return mine;
  }

 private:
  void record(const std::string& event) { log_.push_back(name_ + "." + event); }

  std::string name_;
  Events& log_;
};

class ViewToolkitTest : public test::PlatformTest {
 protected:
  std::shared_ptr<RecordingController> controller(const std::string& name) {
    return std::make_shared<RecordingController>(name, log);
  }
  bool onScreen(const std::shared_ptr<ViewController>& controller) const {
    return controller->isViewLoaded() && controller->view()->superview() == platform_->window();
  }
  template <class T = View>
  std::shared_ptr<T> add(Rect frame, const std::shared_ptr<View>& parent = nullptr) {
    auto view = std::make_shared<T>();
    view->frame = frame;
    (parent ? parent : screen)->addSubview(view);
    return view;
  }

  std::shared_ptr<View> screen = platform_->rootViewController()->view();
  Events log;
};

// Edges with constants, siblings, centres, size constants, multipliers, intrinsic sizes, a
// frame view's child; a view that keeps its frame ignores constraints.
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
  auto title = constrained<Label>(root);
  title->text = "Hello";
  title->font.size = 20;
  pin(title, A::leading, body, A::trailing, 5);
  pin(title, A::top, body, A::top);
  auto inner = constrained(body);
  pin(inner, A::trailing, body, A::trailing, -4);
  pin(inner, A::bottom, body, A::bottom, -4);
  pin(inner, A::width, body, A::width, 0, 0.25);
  pin(inner, A::height, inner, A::width);
  auto fixed = View::make({1, 2, 3, 4});
  root->addSubview(fixed);
  fix(fixed, A::width, 100);

  root->layoutIfNeeded();
  EXPECT_EQ(header->frame, (Rect{10, 20, 380, 50}));
  EXPECT_EQ(body->frame, (Rect{10, 78, 200, 692}));
  EXPECT_EQ(badge->frame, (Rect{180, 400, 40, 30}));
  const Size text = measureText("Hello", title->font);
  EXPECT_EQ(title->frame, (Rect{215, 78, text.width, text.height}));
  EXPECT_EQ(inner->frame, (Rect{146, 638, 50, 50}));
  EXPECT_EQ(inner->frameInRoot(), (Rect{156, 716, 50, 50}));
  EXPECT_EQ(fixed->frame, (Rect{1, 2, 3, 4}));
}

// A parent takes its height from a child's intrinsic size (laid out by the window at the end
// of the task); sizes tied to another view beat intrinsic sizes.
TEST_F(ViewToolkitTest, IntrinsicSizesFillWhatConstraintsLeaveOpen) {
  auto frameView = constrained(screen);
  pin(frameView, A::leading, screen, A::leading, 20);
  pin(frameView, A::trailing, screen, A::trailing, -20);
  pin(frameView, A::top, screen, A::top, 100);
  auto imageView = constrained<ImageView>(frameView);
  imageView->image = std::make_shared<Image>(30, 40, std::vector<std::uint8_t>(30 * 40 * 4));
  pin(imageView, A::leading, frameView, A::leading, 5);
  pin(imageView, A::trailing, frameView, A::trailing, -5);
  pin(imageView, A::top, frameView, A::top, 5);
  pin(imageView, A::bottom, frameView, A::bottom, -5);
  auto first = constrained<Label>(screen);
  first->text = "Continue";
  auto second = constrained<Label>(screen);
  second->text = "No";
  pin(first, A::leading, screen, A::leading);
  pin(first, A::top, screen, A::top);
  pin(second, A::leading, first, A::trailing);
  pin(second, A::top, first, A::top);
  pin(second, A::width, first, A::width);

  runLoop().pump();
  EXPECT_EQ(frameView->frame, (Rect{20, 100, 374, 50}));
  EXPECT_EQ(imageView->frame, (Rect{5, 5, 364, 40}));
  EXPECT_EQ(first->frame.width, measureText("Continue", first->font).width);
  EXPECT_EQ(second->frame.width, first->frame.width);
}

// An image moved into a new frame, as an ad's is at each showing, is placed by its new
// constraints alone: its ties to the old frame go, from either side, whether that frame stays
// on screen or was removed and released. Brought to the top of its own parent, a view keeps
// its ties; a tie to a view that is gone counts for nothing.
TEST_F(ViewToolkitTest, AMovedViewLeavesItsTiesToTheOldTreeBehind) {
  auto image = std::make_shared<ImageView>();
  image->image = std::make_shared<Image>(30, 40, std::vector<std::uint8_t>(30 * 40 * 4));
  image->translatesAutoresizingMaskIntoConstraints = false;
  const auto frameImage = [&] {
    auto frame = constrained(screen);
    pin(frame, A::leading, screen, A::leading, 20);
    pin(frame, A::trailing, screen, A::trailing, -20);
    pin(frame, A::top, screen, A::top, 40);
    frame->addSubview(image);
    pin(image, A::leading, frame, A::leading, 5);
    pin(image, A::trailing, frame, A::trailing, -5);
    pin(image, A::top, frame, A::top, 5);
    pin(image, A::bottom, frame, A::bottom, -5);
    runLoop().pump();
    return frame;
  };
  const Rect placed{25, 45, 364, 40};
  auto first = frameImage();
  pin(first, A::width, image, A::width, 10);
  EXPECT_EQ(image->frameInRoot(), placed);

  auto second = frameImage();
  EXPECT_EQ(image->frameInRoot(), placed);
  EXPECT_EQ(image->constraints().size(), 4u);
  EXPECT_EQ(first->constraints().size(), 3u) << "the old frame's tie to the image stayed";

  second->removeFromSuperview();
  second.reset();
  auto third = frameImage();
  EXPECT_EQ(image->frameInRoot(), placed);
  screen->addSubview(first);
  screen->addSubview(third);
  runLoop().pump();
  EXPECT_EQ(screen->subviews().back(), third);
  EXPECT_EQ(third->constraints().size(), 3u);
  EXPECT_EQ(image->frameInRoot(), placed);

  auto badge = constrained(screen);
  badge->frame = {0, 0, 50, 50};
  pin(badge, A::width, View::make(), A::width, 8);
  pin(badge, A::leading, screen, A::leading, 10);
  runLoop().pump();
  EXPECT_EQ(badge->frame, (Rect{10, 0, 50, 50}));
}

// Full screen: the presenter disappears; transitions take 0.3 s and the other side's events
// interleave; over full screen the presenter stays on screen and hears nothing.
TEST_F(ViewToolkitTest, PresentationAndDismissalTellLifeEventsInOrder) {
  auto root = controller("root");
  platform_->window()->setRootViewController(root);
  log.clear();
  auto ad = controller("ad");
  bool presented = false;
  root->present(ad, true, [&] { presented = true; });
  EXPECT_TRUE(onScreen(ad));
  EXPECT_EQ(ad->view()->frame, platform_->window()->bounds());
  runLoop().advance(ViewController::transitionDuration - 0.01);
  EXPECT_FALSE(presented);
  runLoop().advance(0.02);
  EXPECT_TRUE(presented);
  EXPECT_EQ(ad->events(true),
            (Events{"viewDidLoad", "viewWillAppear", "viewDidLayoutSubviews", "viewDidAppear"}));
  EXPECT_EQ(root->events(), (Events{"viewWillDisappear", "viewDidDisappear"}));

  log.clear();
  ad->dismiss(true);
  EXPECT_EQ(log, (Events{"ad.viewWillDisappear", "root.viewWillAppear"}));
  runLoop().advance(ViewController::transitionDuration);
  // What lay beneath is laid out again once uncovered.
  EXPECT_EQ(log, (Events{"ad.viewWillDisappear", "root.viewWillAppear", "ad.viewDidDisappear",
                         "root.viewDidAppear", "root.viewDidLayoutSubviews"}));
  EXPECT_FALSE(onScreen(ad));

  auto overlay = controller("overlay");
  overlay->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  log.clear();
  root->present(overlay, false);
  runLoop().pump();
  overlay->dismiss(false);
  runLoop().pump();
  EXPECT_EQ(overlay->events(), (Events{"viewDidLoad", "viewWillAppear", "viewDidAppear",
                                       "viewWillDisappear", "viewDidDisappear"}));
  EXPECT_TRUE(root->events().empty());
}

// A presentation asked for during a transition waits for its end; dismissing from the root
// takes down everything above it, and marks it as leaving at once.
TEST_F(ViewToolkitTest, PresentingDuringATransitionWaitsForItsEnd) {
  auto first = controller("first");
  auto second = controller("second");
  auto root = platform_->rootViewController();
  root->present(first, true);
  first->present(second, true);
  EXPECT_TRUE(platform_->window()->isTransitioning());
  EXPECT_FALSE(second->isViewLoaded());
  runLoop().advance(ViewController::transitionDuration);
  EXPECT_EQ(first->events(),
            (Events{"viewDidLoad", "viewWillAppear", "viewDidAppear", "viewWillDisappear"}));
  EXPECT_EQ(second->events(), (Events{"viewDidLoad", "viewWillAppear"}));
  runLoop().advance(ViewController::transitionDuration);
  EXPECT_EQ(platform_->window()->viewControllerStack(),
            (std::vector<std::shared_ptr<ViewController>>{root, first, second}));

  // Dismissed during a transition: on screen until it ends, but it can present nothing more.
  second->present(controller("third"), true);
  root->dismiss(false);
  EXPECT_TRUE(first->isOnScreen() && first->isBeingDismissed() && second->isBeingDismissed());
  runLoop().advance(1);
  EXPECT_EQ(platform_->window()->topViewController(), root);
  EXPECT_FALSE(first->isBeingDismissed());
  EXPECT_FALSE(onScreen(first) || onScreen(second));
  EXPECT_EQ(second->events().back(), "viewDidDisappear");

  // Dismissed while its presentation still waits: it never comes.
  root->present(first, true);
  first->present(second, true);
  second->dismiss(false);
  runLoop().advance(1);
  EXPECT_EQ(platform_->window()->topViewController(), first);
  EXPECT_EQ(second->events().back(), "viewDidDisappear");
}

struct Counter {
  int count = 0;
  void hit() { ++count; }
  /// Answers on the next main-queue task, as event handlers often do.
  void hitLater() {
    postToMainQueue([this] { ++count; });
  }
};

// A tap reaches a button or the nearest recognizer only when a user could make it, and
// only targets still alive; hit-testing picks the topmost view that takes touches.
TEST_F(ViewToolkitTest, TapsAndHitTesting) {
  auto counter = std::make_shared<Counter>();
  auto ok = add<Button>({10, 10, 80, 30});
  ok->addTarget(counter, &Counter::hitLater, ControlEvent::touchUpInside);
  EXPECT_TRUE(driver.tap(ok));
  EXPECT_EQ(counter->count, 1);  // the posted work has run
  ok->isEnabled = false;
  EXPECT_FALSE(driver.tap(ok));
  ok->isEnabled = true;
  screen->isUserInteractionEnabled = false;
  EXPECT_FALSE(driver.tap(ok));
  screen->isUserInteractionEnabled = true;
  auto gone = std::make_shared<Counter>();
  ok->addTarget(gone, &Counter::hit, ControlEvent::touchUpInside);
  gone.reset();
  EXPECT_TRUE(driver.tap(ok));
  EXPECT_EQ(counter->count, 2);

  auto card = add({0, 100, 200, 100});
  card->addGestureRecognizer(std::make_shared<TapGestureRecognizer>(counter, &Counter::hit));
  EXPECT_TRUE(driver.tap(add<Label>({10, 10, 50, 20}, card)));
  EXPECT_EQ(counter->count, 3);

  auto below = add<Button>({0, 300, 100, 100});
  below->addTarget(counter, &Counter::hit, ControlEvent::touchUpInside);
  auto cover = add({0, 300, 100, 50});
  add({0, 350, 100, 25})->isUserInteractionEnabled = false;
  add({0, 375, 100, 25})->alpha = 0;
  EXPECT_EQ(driver.hitTest({50, 325}), cover);
  EXPECT_FALSE(driver.tapAt({50, 325}));
  EXPECT_TRUE(driver.tapAt({50, 360}));  // through the view that takes no touches
  EXPECT_TRUE(driver.tapAt({50, 390}));  // through the transparent one
  EXPECT_EQ(counter->count, 5);

  // A child sticking out of its parent is hit only when the parent does not clip.
  auto frame = add({200, 500, 50, 50});
  auto outside = add<Button>({60, 0, 40, 40}, frame);
  EXPECT_EQ(driver.hitTest({270, 510}), outside);
  frame->clipsToBounds = true;
  EXPECT_EQ(driver.hitTest({270, 510}), screen);
  EXPECT_EQ(driver.hitTest({-5, 10}), nullptr);
}

TEST_F(ViewToolkitTest, SnapshotDrawsTheScreen) {
  add({20, 40, 100, 60})->backgroundColor = Color{1, 0, 0, 1};
  auto hidden = add({20, 40, 100, 60});
  hidden->backgroundColor = Color{0, 1, 0, 1};
  hidden->isHidden = true;
  auto framed = add({200, 300, 100, 100});
  framed->layer.borderWidth = 4;
  framed->layer.borderColor = Color::white();
  auto dimmed = add({200, 40, 100, 100});
  dimmed->alpha = 0.5;
  add({0, 0, 50, 50}, dimmed)->backgroundColor = Color{0, 0, 1, 1};
  // A round clipping frame cuts its child's corners.
  auto round = add({50, 500, 100, 100});
  round->layer.cornerRadius = 50;
  round->clipsToBounds = true;
  add({0, 0, 100, 100}, round)->backgroundColor = Color{0, 1, 0, 1};
  // Red, green / blue, white, stretched over 100 × 100 points.
  add<ImageView>({250, 600, 100, 100})->image =
      std::make_shared<Image>(2, 2,
                              std::vector<std::uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255,
                                                        255, 255, 255, 255, 255});
  auto text = add<Label>({20, 700, 150, 30});
  text->backgroundColor = Color::white();
  text->text = "Hello";
  text->font.size = 24;
  add<Label>({0, 850, 100, 20})->text = "bad \xff\xc3 text";  // drawn, not refused

  const auto path = folder.path() / "screen.png";
  ASSERT_TRUE(driver.snapshot(path));
  const auto image = Image::contentsOfFile(path);
  ASSERT_TRUE(image && image->width() == 414 && image->height() == 896);
  using Pixel = std::array<int, 4>;
  const auto pixel = [&](int x, int y) {
    const auto* p = &image->rgba()[(static_cast<std::size_t>(y) * image->width() + x) * 4];
    return Pixel{p[0], p[1], p[2], p[3]};
  };
  const std::tuple<int, int, Pixel> expected[] = {
      {5, 5, {0, 0, 0, 255}},           {70, 70, {255, 0, 0, 255}},
      {201, 350, {255, 255, 255, 255}}, {250, 350, {0, 0, 0, 255}},
      {100, 550, {0, 255, 0, 255}},     {53, 503, {0, 0, 0, 255}},
      {270, 620, {255, 0, 0, 255}},     {330, 620, {0, 255, 0, 255}},
      {270, 680, {0, 0, 255, 255}},     {330, 680, {255, 255, 255, 255}}};
  for (const auto& [x, y, color] : expected) EXPECT_EQ(pixel(x, y), color) << x << "," << y;
  EXPECT_NEAR(pixel(225, 65)[2], 128, 2);
  int dark = 0;
  for (int y = 700; y < 730; ++y)
    for (int x = 20; x < 170; ++x) dark += pixel(x, y)[0] < 100;
  EXPECT_GT(dark, 20);
  EXPECT_FALSE(driver.snapshot(folder.path() / "missing" / "screen.png"));
}

}  // namespace
}  // namespace zelvora::platform::headless
