// zelvora-sdl-host [--placement ID] APP_ID SERVER_URL: a game on SDL2 with a loop of its own. It
// draws its scene every frame, pumps the SDK once per frame (every SDK callback happens inside
// that call, on this thread), and its red "next level" button shows an interstitial over its
// window: the ad of placement ID, else of the first placement that became ready. The game pauses
// while the ad's screens are up. Every event is one line on standard output, for people and for
// tests.
#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace {

void say(const std::string& line) {
  std::cout << "[sdl-host] " << line << std::endl;
}

/// Remembers the wanted placement once it is ready (any placement when none is wanted), and
/// pauses the game while an ad's screens are up.
class Delegate : public zelvora::ZelExtendedEventDelegate {
 public:
  void onInit(const std::vector<std::string>& ids) override {
    say("onInit");
    if (wanted && std::find(ids.begin(), ids.end(), *wanted) == ids.end()) {
      std::string known;
      for (const auto& id : ids) known += " " + id;
      say("no placement \"" + *wanted + "\" on the server; it has:" + known);
    }
  }
  void onInitError(const std::string& message) override { say("onInitError " + message); }
  void onNoAds(const std::string& id) override { say("onNoAds " + id); }
  void onAdReady(const std::string& id) override {
    say("onAdReady " + id);
    if (!ready && (!wanted || *wanted == id)) ready = id;
  }
  void onAdShown(const std::string& id) override { say("onAdShown " + id); }
  void onAdFailedToShow(const std::string& id) override { say("onAdFailedToShow " + id); }
  void onAdClose(const std::string& id) override { say("onAdClose " + id); }
  void onAdClick(const std::string& id) override { say("onAdClick " + id); }
  void onAdWillPresentScreen(const std::string& id) override {
    say("onAdWillPresentScreen " + id + ": the game pauses");
    paused = true;
  }
  void onAdDidDismissScreen(const std::string& id) override {
    say("onAdDidDismissScreen " + id + ": the game resumes");
    paused = false;
  }

  std::optional<std::string> wanted;
  std::optional<std::string> ready;
  bool paused = false;
};

/// The SDK's name for a key, when it has one.
std::optional<zelvora::platform::Key> sdkKey(const SDL_Keysym& key) {
  using zelvora::platform::Key;
  switch (key.sym) {
    case SDLK_ESCAPE:
      return Key::escape;
    case SDLK_AC_BACK:
      return Key::back;
    case SDLK_TAB:
      return key.mod & KMOD_SHIFT ? Key::backtab : Key::tab;
    case SDLK_LEFT:
      return Key::left;
    case SDLK_RIGHT:
      return Key::right;
    case SDLK_UP:
      return Key::up;
    case SDLK_DOWN:
      return Key::down;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return Key::enter;
    case SDLK_SPACE:
      return Key::space;
    default:
      return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto delegate = std::make_shared<Delegate>();
  if (argc == 5 && std::string(argv[1]) == "--placement") {
    delegate->wanted = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc != 3) {
    std::cerr << "usage: zelvora-sdl-host [--placement ID] APP_ID SERVER_URL\n";
    return 2;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::cerr << "[sdl-host] SDL: " << SDL_GetError() << "\n";
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("Zelvora SDL host", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, 640, 400, SDL_WINDOW_SHOWN);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!renderer || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
    std::cerr << "[sdl-host] needs an SDL window on X11\n";
    return 1;
  }

  // The SDK over the game's window, on the game's own loop.
  zelvora::platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.example.zelvora-sdl-host";
  zelvora::platform::gtk::GtkPlatform platform(
      environment, zelvora::platform::gtk::UrlMode::open,
      zelvora::platform::gtk::Hosting::over(info.info.x11.window));
  auto& sdk = zelvora::ZelController::sharedInstance();
  zelvora::ServerConfiguration server;  // empty fields keep their defaults
  server.url = argv[2];
  server.timeoutSeconds = 20;
  sdk.setServerConfiguration(server);
  sdk.setEventDelegate(delegate);
  sdk.initialize(argv[1]);

  const SDL_Rect button{640 - 140, 400 - 60, 120, 40};
  say("button " + std::to_string(button.x) + " " + std::to_string(button.y) + " " +
      std::to_string(button.w) + " " + std::to_string(button.h));
  int level = 1;
  for (bool running = true; running;) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) running = false;
      bool nextLevel = false;
      if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT) {
        const SDL_Point at{event.button.x, event.button.y};
        nextLevel = SDL_PointInRect(&at, &button) && !delegate->paused;
      }
      if (event.type == SDL_KEYDOWN) {
        // While an ad is up its keys are the SDK's: Return must not start the next level.
        if (const auto key = sdkKey(event.key.keysym); key && platform.handleKey(*key)) {
          say("key to the SDK");
          continue;
        }
        nextLevel = event.key.keysym.sym == SDLK_RETURN && !delegate->paused;
      }
      if (nextLevel) {
        say("level " + std::to_string(++level));
        if (delegate->ready) sdk.showAd(platform.rootViewController(), *delegate->ready);
      }
    }
    // The scene: a green field, a blue block that moves with the level, the red button.
    SDL_SetRenderDrawColor(renderer, 0, 255, 0, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawColor(renderer, 0, 0, 255, 255);
    const SDL_Rect block{20 + (level * 40) % 560, 40, 40, 40};
    SDL_RenderFillRect(renderer, &block);
    SDL_SetRenderDrawColor(renderer, 255, 0, 0, 255);
    SDL_RenderFillRect(renderer, &button);
    SDL_RenderPresent(renderer);
    // Once per frame: everything the SDK has to do now, its callbacks included.
    platform.mainQueue().pump();
    SDL_Delay(16);
  }
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
