// The headless test driver: finding and tapping views, hit-testing, the screen dump, web view
// navigations and PNG snapshots decoded back.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "support/SdkTest.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::headless {
namespace {

struct Counter {
  int count = 0;
  void hit() { ++count; }
  /// Answers on the next main-queue task, as event handlers often do.
  void hitLater() {
    postToMainQueue([this] { ++count; });
  }
};

class RecordingNavigationDelegate : public NavigationDelegate {
 public:
  void webViewDidStartProvisionalNavigation(WebView&, Navigation n) override { record("start", n); }
  void webViewDidReceiveServerRedirectForProvisionalNavigation(WebView& view,
                                                               Navigation n) override {
    record("redirect " + view.url().value_or(""), n);
  }
  void webViewDidCommit(WebView&, Navigation n) override { record("commit", n); }
  void webViewDidFinish(WebView&, Navigation n) override { record("finish", n); }
  void webViewDidFailProvisionalNavigation(WebView&, Navigation n, const WebError& e) override {
    record("fail " + e.localizedDescription, n);
  }

  std::vector<std::string> events;

 private:
  void record(const std::string& event, Navigation n) {
    events.push_back(event + " #" + std::to_string(n.id));
  }
};

class TestDriverTest : public ::testing::Test {
 protected:
  static HostEnvironment environment(const test::TemporaryFolder& folder) {
    HostEnvironment env;
    env.configDirectory = folder.path() / "config";
    env.cachesDirectory = folder.path() / "caches";
    env.temporaryDirectory = folder.path() / "tmp";
    return env;
  }

  template <class T = View>
  std::shared_ptr<T> add(Rect frame, const std::shared_ptr<View>& parent = nullptr) {
    auto view = std::make_shared<T>();
    view->frame = frame;
    (parent ? parent : screen)->addSubview(view);
    return view;
  }
  std::shared_ptr<Button> button(const std::string& title, Rect frame,
                                 const std::shared_ptr<View>& parent = nullptr) {
    auto made = add<Button>(frame, parent);
    made->setTitle(title, ControlState::normal);
    return made;
  }

  test::TemporaryFolder folder;
  HeadlessPlatform platform{environment(folder), ClockMode::manual};
  TestDriver driver{platform};
  std::shared_ptr<View> screen = platform.rootViewController()->view();
};

TEST_F(TestDriverTest, FindsVisibleViewsByTypeTitleAndIdentifier) {
  auto close = button("Close", {0, 0, 50, 30});
  close->accessibilityIdentifier = "close";
  auto panel = add({0, 100, 200, 200});
  auto label = add<Label>({10, 10, 100, 20}, panel);
  label->text = "Ready";
  auto hiddenPanel = add({0, 400, 200, 200});
  hiddenPanel->isHidden = true;
  auto buried = add<Label>({0, 0, 10, 10}, hiddenPanel);
  buried->text = "Buried";

  EXPECT_EQ(driver.findByTitle("Close"), close);
  EXPECT_EQ(driver.findByTitle("Ready"), label);
  EXPECT_EQ(driver.findById("close"), close);
  EXPECT_EQ(driver.findByTitle("Buried"), nullptr);
  EXPECT_EQ(driver.findAll<Label>(), (std::vector<std::shared_ptr<Label>>{label}));

  // A presented controller's views are on screen too, above the presenter's.
  auto presented = std::make_shared<ViewController>();
  auto over = std::make_shared<Label>();
  over->text = "Over";
  presented->view()->addSubview(over);
  platform.rootViewController()->present(presented, false);
  driver.settle();
  EXPECT_EQ(driver.findAll<Label>(), (std::vector<std::shared_ptr<Label>>{label, over}));
}

TEST_F(TestDriverTest, TapsReachButtonsAndRecognizersOnlyWhenAUserCould) {
  auto counter = std::make_shared<Counter>();
  auto ok = button("OK", {10, 10, 80, 30});
  ok->addTarget(counter, &Counter::hitLater, ControlEvent::touchUpInside);

  EXPECT_TRUE(driver.tap(ok));
  EXPECT_EQ(counter->count, 1);  // the posted work has run

  ok->isEnabled = false;
  EXPECT_FALSE(driver.tap(ok));
  ok->isEnabled = true;
  ok->isHidden = true;
  EXPECT_FALSE(driver.tap(ok));
  ok->isHidden = false;
  screen->isUserInteractionEnabled = false;
  EXPECT_FALSE(driver.tap(ok));
  screen->isUserInteractionEnabled = true;
  EXPECT_EQ(counter->count, 1);

  // A tap on a label inside a card reaches the card's recognizer.
  auto card = add({0, 100, 200, 100});
  card->addGestureRecognizer(std::make_shared<TapGestureRecognizer>(counter, &Counter::hit));
  auto caption = add<Label>({10, 10, 50, 20}, card);
  EXPECT_TRUE(driver.tap(caption));
  EXPECT_EQ(counter->count, 2);

  // Targets are held weakly: a released one is not called.
  auto gone = std::make_shared<Counter>();
  ok->addTarget(gone, &Counter::hit, ControlEvent::touchUpInside);
  gone.reset();
  EXPECT_TRUE(driver.tap(ok));
  EXPECT_EQ(counter->count, 3);

  auto detached = Button::make(ButtonType::system);
  detached->addTarget(counter, &Counter::hit, ControlEvent::touchUpInside);
  EXPECT_FALSE(driver.tap(detached));
  EXPECT_EQ(counter->count, 3);
}

TEST_F(TestDriverTest, TapAtHitsTheTopmostViewThatTakesTouches) {
  auto counter = std::make_shared<Counter>();
  auto below = button("Below", {0, 0, 100, 100});
  below->addTarget(counter, &Counter::hit, ControlEvent::touchUpInside);
  auto cover = add({0, 0, 100, 50});
  auto glass = add({0, 50, 100, 25});
  glass->isUserInteractionEnabled = false;
  auto ghost = add({0, 75, 100, 25});
  ghost->alpha = 0;

  EXPECT_EQ(driver.hitTest({50, 25}), cover);
  EXPECT_FALSE(driver.tapAt({50, 25}));
  EXPECT_TRUE(driver.tapAt({50, 60}));  // through the view that takes no touches
  EXPECT_TRUE(driver.tapAt({50, 90}));  // through the transparent one
  EXPECT_EQ(counter->count, 2);

  // A child sticking out of its parent is hit only when the parent does not clip.
  auto frame = add({200, 200, 50, 50});
  auto outside = button("Outside", {60, 0, 40, 40}, frame);
  EXPECT_EQ(driver.hitTest({270, 210}), outside);
  frame->clipsToBounds = true;
  EXPECT_EQ(driver.hitTest({270, 210}), screen);
  EXPECT_EQ(driver.hitTest({-5, 10}), nullptr);
}

TEST_F(TestDriverTest, DumpsTheScreenOneLinePerView) {
  auto greeting = add<Label>({10, 20, 55, 24});
  greeting->text = "Hello";
  greeting->accessibilityIdentifier = "greeting";
  auto panel = add({20.5, 60.25, 100, 50});
  panel->alpha = 0.5;
  button("Close", {5, 5, 80, 30}, panel)->accessibilityIdentifier = "close";
  auto picture = add<ImageView>({0, 200, 100, 100});
  picture->isHidden = true;
  add<ImageView>({0, 0, 1, 1}, picture);
  add<ActivityIndicatorView>({0, 300, 20, 20})->startAnimating();

  EXPECT_EQ(driver.dumpScreen(),
            "Window (0, 0, 414, 896)\n"
            "  View (0, 0, 414, 896)\n"
            "    Label (10, 20, 55, 24) \"Hello\" #greeting\n"
            "    View (20.5, 60.3, 100, 50) alpha=0.5\n"
            "      Button (25.5, 65.3, 80, 30) \"Close\" #close\n"
            "    ImageView (0, 200, 100, 100) no image hidden\n"
            "    ActivityIndicatorView (0, 300, 20, 20) animating\n");
}

TEST_F(TestDriverTest, PlaysWebViewNavigations) {
  auto web = add<WebView>({0, 0, 300, 300});
  auto delegate = std::make_shared<RecordingNavigationDelegate>();
  web->navigationDelegate = delegate;
  web->load({"https://ads.example/creative"});
  ASSERT_EQ(driver.webViews(), (std::vector<std::shared_ptr<WebView>>{web}));

  EXPECT_EQ(driver.playNavigation(
                web, {NavigationStep::start(), NavigationStep::redirect("https://cdn.example/page"),
                      NavigationStep::commit(), NavigationStep::finish()}),
            4u);
  EXPECT_EQ(web->url(), "https://cdn.example/page");
  web->load({"https://ads.example/missing"});
  driver.failLoading(web, "offline");
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"start #1", "redirect https://cdn.example/page #1",
                                      "commit #1", "finish #1", "start #2", "fail offline #2"}));
}

using Pixel = std::array<int, 4>;

Pixel pixel(const Image& image, int x, int y) {
  const auto* p = &image.rgba()[(static_cast<std::size_t>(y) * image.width() + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

TEST_F(TestDriverTest, SnapshotDrawsTheScreen) {
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
  auto picture = add<ImageView>({250, 600, 100, 100});
  picture->image =
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
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width(), 414);
  EXPECT_EQ(image->height(), 896);

  EXPECT_EQ(pixel(*image, 5, 5), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(pixel(*image, 70, 70), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(pixel(*image, 201, 350), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(pixel(*image, 250, 350), (Pixel{0, 0, 0, 255}));
  const Pixel halfBlue = pixel(*image, 225, 65);
  EXPECT_NEAR(halfBlue[2], 128, 2);
  EXPECT_EQ(pixel(*image, 100, 550), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(pixel(*image, 53, 503), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(pixel(*image, 270, 620), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(pixel(*image, 330, 620), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(pixel(*image, 270, 680), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(pixel(*image, 330, 680), (Pixel{255, 255, 255, 255}));

  int dark = 0;
  for (int y = 700; y < 730; ++y) {
    for (int x = 20; x < 170; ++x) dark += pixel(*image, x, y)[0] < 100;
  }
  EXPECT_GT(dark, 20);

  EXPECT_FALSE(driver.snapshot(folder.path() / "missing" / "screen.png"));
}

}  // namespace
}  // namespace zelvora::platform::headless
