// examples/gtk-host run as a person would see it, checked from the X server: the interstitial
// comes inside the application's own window, over all of it, and leaves it as it was.

#include "ExampleHost.h"

namespace zelvora::test {
namespace {

// Two levels, an interstitial of the placement asked for after each, the game paused while it is
// up: the window list never changes, the ad (a portrait banner, letterboxed in the landscape
// window) covers the whole window, its close button gives the window back to the game, whose
// field is drawn exactly as before.
TEST_F(ExampleHost, GtkHostShowsTheInterstitialInsideItsWindowAndGetsItBackAsItWas) {
  start(ZELVORA_GTK_HOST_PROGRAM, "Zelvora GTK host", "[gtk-host] ", "q");
  if (HasFatalFailure()) return;

  std::size_t from = 0;
  for (int level = 2; level <= 3; ++level) {
    const long shown = nextLevelShowsTheAd(level, from);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(eventually([&] { return countPixels(display, window->id, green) == 0; }, 5))
        << "the host's field shows beside the ad";
    const auto during = viewableTopLevels(display);
    if (level == 2) {
      std::cout << "during:\n" << describe(during);
      screenshot(*window, "gtk-host-interstitial.png");
    }
    ASSERT_EQ(during.size(), 1u) << describe(during);
    EXPECT_EQ(during.front().id, window->id);
    EXPECT_EQ(during.front().width, window->width);
    EXPECT_EQ(during.front().height, window->height);

    const long closed = closeTheAd(shown);
    if (HasFatalFailure()) return;
    from = static_cast<std::size_t>(closed);
    EXPECT_TRUE(eventually([&] { return countPixels(display, window->id, green) == field; }, 5))
        << "the host's field is not drawn as before";
  }
  expectOneWindow("after");
  // The application ends cleanly, the platform giving the window's content its place back
  // (any GTK critical would abort it).
  EXPECT_EQ(host->stop(), 0) << output();
}

// A placement the server does not have is named, with those it has.
TEST_F(ExampleHost, GtkHostNamesAnUnknownPlacement) {
  host = std::make_unique<HostProgram>(std::vector<std::string>{
      ZELVORA_GTK_HOST_PROGRAM, "--placement", "nowhere", "app", server->endpointUrl()});
  ASSERT_TRUE(host->started());
  EXPECT_GE(host->waitForLine("[gtk-host] no placement \"nowhere\" on the server; it has: p q", 30),
            0)
      << output();
}

// The keyboard while the ad is up is the ad's: Tab walks the ad's controls with a ring a person
// sees (never the game's button, which had the focus), Return presses the ad's control and
// never "next level", Escape closes the ad; then the game's button has the focus back.
TEST_F(ExampleHost, GtkHostKeysReachTheAdAndNeverTheGameWhileItIsUp) {
  start(ZELVORA_GTK_HOST_PROGRAM, "Zelvora GTK host", "[gtk-host] ");
  if (HasFatalFailure()) return;
  const long shown = nextLevelShowsTheAd(2, 0);
  if (HasFatalFailure()) return;
  // Above the close button, where its focus ring goes (and the banner's, below, does not).
  const int screenWidth = window->height * window->height / window->width;
  const int closeX = (window->width - screenWidth) / 2 + screenWidth - 20, closeY = 40;
  const auto ring = [&] {
    return countPixels(display, window->id, 0xffc000, closeX - 30, closeY - 30, 60, 20);
  };
  EXPECT_TRUE(eventually([&] { return countPixels(display, window->id, green) == 0; }, 5));
  EXPECT_EQ(ring(), 0) << "a focus ring before any key";

  // Odd: the close button, the first of the two controls (the banner is the second).
  for (int i = 0; i < 9; ++i) pressKey(display, XK_Tab);
  EXPECT_TRUE(eventually([&] { return ring() > 60; }, 5))
      << "no focus ring around the close button: " << ring() << " pixels of its colour";
  screenshot(*window, "gtk-host-focus-ring.png");
  pressKey(display, XK_Tab);
  EXPECT_TRUE(eventually([&] { return ring() == 0; }, 5)) << "the ring did not move on";
  pressKey(display, XK_Return);  // the banner, which has no click address
  pressKey(display, XK_Tab, true);
  EXPECT_TRUE(eventually([&] { return ring() > 60; }, 5)) << "Shift+Tab did not come back";

  pressKey(display, XK_Escape);
  const long closed = waitFor("onAdClose p", static_cast<std::size_t>(shown));
  ASSERT_GE(closed, 0) << "Escape did not close the ad\n" << output();
  // The keys arrived in order: one that reached the game would have shown before the close.
  EXPECT_EQ(waitFor("level 3", 0, 0), -1) << "a key reached the game under the ad";
  EXPECT_TRUE(eventually([&] { return countPixels(display, window->id, green) == field; }, 5));

  // The game's button has the keyboard again.
  pressKey(display, XK_Return);
  EXPECT_GE(waitFor("level 3", static_cast<std::size_t>(closed)), 0) << output();
  EXPECT_GE(waitFor("onAdShown p", static_cast<std::size_t>(closed)), 0) << output();
  EXPECT_EQ(host->stop(), 0) << output();
}

}  // namespace
}  // namespace zelvora::test
