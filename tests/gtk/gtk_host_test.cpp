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

}  // namespace
}  // namespace zelvora::test
