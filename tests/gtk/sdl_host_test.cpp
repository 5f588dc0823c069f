// examples/sdl-host run as a person would see it, checked from the X server: while the
// interstitial is up, one borderless window covers the game's window exactly, transient for it;
// then the game has its window, its clicks and its drawing back.

#include <algorithm>

#include "ExampleHost.h"

namespace zelvora::test {
namespace {

// Two levels, an interstitial after each (a portrait banner, letterboxed in the landscape
// window), the game's loop pumping the SDK every frame; during the second, the game's window
// moves and changes size, Return (the game's key for the next level) does nothing and Escape
// closes the ad, whichever window has the keyboard.
TEST_F(ExampleHost, SdlHostShowsTheInterstitialOverItsWindowAndGetsItBackAsItWas) {
  start(ZELVORA_SDL_HOST_PROGRAM, "Zelvora SDL host", "[sdl-host] ");
  if (HasFatalFailure()) return;

  std::size_t from = 0;
  for (int level = 2; level <= 3; ++level) {
    const long shown = nextLevelShowsTheAd(level, from);
    if (HasFatalFailure()) return;
    std::vector<TopLevel> during;
    EXPECT_TRUE(eventually(
        [&] {
          during = viewableTopLevels(display);
          return during.size() == 2 && during.back().transientFor == window->id &&
                 during.back().x == window->x && during.back().y == window->y &&
                 during.back().width == window->width && during.back().height == window->height;
        },
        5))
        << "no window of the ad's covers the game's exactly:\n"
        << describe(during);
    if (level == 2) {
      std::cout << "during:\n" << describe(during);
      screenshot(*window, "sdl-host-interstitial.png");
    }

    if (level == 3) {
      // The game's window moves and shrinks while the ad is up: the ad's window follows.
      XMoveResizeWindow(display, window->id, window->x + 30, window->y + 20, 600, 380);
      XFlush(display);
      EXPECT_TRUE(eventually(
          [&] {
            during = viewableTopLevels(display);
            return during.size() == 2 && during.front().x == window->x + 30 &&
                   during.back().x == window->x + 30 && during.back().y == window->y + 20 &&
                   during.back().width == 600 && during.back().height == 380;
          },
          5))
          << "the ad's window did not follow the game's:\n"
          << describe(during);
      window = during.front();
      // The field at the new size: all but the block (40 by 40) and what shows of the button.
      const int buttonWidth = std::min(button.x + button.width, window->width) - button.x;
      const int buttonHeight = std::min(button.y + button.height, window->height) - button.y;
      field = long{window->width} * window->height - 40 * 40 - long{buttonWidth} * buttonHeight;
    }
    long closed = -1;
    if (level == 2) {
      closed = closeTheAd(shown);
      if (HasFatalFailure()) return;
    } else {
      pressKey(display, XK_Return);
      pressKey(display, XK_Escape);
      closed = waitFor("onAdClose p", static_cast<std::size_t>(shown));
      ASSERT_GE(closed, 0) << "Escape did not close the ad\n" << output();
      EXPECT_EQ(waitFor("level 4", 0, 0), -1) << "Return reached the game under the ad";
    }
    from = static_cast<std::size_t>(closed);
    EXPECT_TRUE(eventually([&] { return viewableTopLevels(display).size() == 1; }, 5));
    EXPECT_TRUE(eventually([&] { return countPixels(display, window->id, green) == field; }, 5))
        << "the game's field is not drawn as before";
  }
  expectOneWindow("after");
}

}  // namespace
}  // namespace zelvora::test
