// zelvora-host-example APP_ID [SERVER_URL]: the smallest host that shows an ad, on the desktop
// backend in a window of its own (it needs a display: `xvfb-run -a` without one), or, built
// without it (no ZELVORA_HAS_GTK), on the headless backend. It
// initialises the SDK (against SERVER_URL, else $ZELVORA_SERVER_URL, else the SDK's own server),
// waits for the first ad to be ready, shows it, and exits 0 once it is on screen.
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/ZelController.h"
#ifdef ZELVORA_HAS_GTK
#include "zelvora/platform/gtk/GtkPlatform.h"
using Platform = zelvora::platform::gtk::GtkPlatform;
#else
#include "zelvora/platform/headless/HeadlessPlatform.h"
using Platform = zelvora::platform::headless::HeadlessPlatform;
#endif

namespace {

/// Prints every event and remembers what the host waits for.
class Delegate : public zelvora::ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& ids) override {
    std::string list;
    for (const auto& id : ids) list += (list.empty() ? "" : ", ") + id;
    print("onInit", "[" + list + "]");
    initialised = true;
  }
  void onInitError(const std::string& message) override { print("onInitError", message); }
  void onNoAds(const std::string& id) override { print("onNoAds", id); }
  void onAdReady(const std::string& id) override {
    print("onAdReady", id);
    if (!ready) ready = id;
  }
  void onAdShown(const std::string& id) override {
    print("onAdShown", id);
    shown = true;
  }
  void onAdFailedToShow(const std::string& id) override {
    print("onAdFailedToShow", id);
    failed = true;
  }
  void onAdClose(const std::string& id) override { print("onAdClose", id); }
  void onAdClick(const std::string& id) override { print("onAdClick", id); }

  bool initialised = false, shown = false, failed = false;
  std::optional<std::string> ready;

 private:
  static void print(const char* event, const std::string& what) {
    std::cout << "[host] " << event << " " << what << std::endl;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: zelvora-host-example APP_ID [SERVER_URL]\n";
    return 2;
  }
  zelvora::platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.example.zelvora-host";
  // On the main thread; its window opens with the first ad.
  Platform platform(environment);
#ifndef ZELVORA_HAS_GTK
  // The headless backend runs no page: a page it is given counts as loaded.
  platform.webEngine().autoLoad = true;
#endif

  auto& sdk = zelvora::ZelController::sharedInstance();
  if (argc == 3) {
    zelvora::ServerConfiguration server;  // empty fields keep their defaults
    server.url = argv[2];
    sdk.setServerConfiguration(server);
  }
  const auto delegate = std::make_shared<Delegate>();  // the SDK holds it weakly
  sdk.setEventDelegate(delegate);
  sdk.initialize(argv[1]);

  // Every callback runs on this thread while the main queue turns; wait a bounded time for each.
  auto& loop = platform.mainQueue();
  if (!loop.runUntil([&] { return delegate->initialised; }, 30) || !sdk.isInitialized()) {
    std::cerr << "[host] the SDK did not initialise\n";
    return 1;
  }
  if (!loop.runUntil([&] { return delegate->ready.has_value(); }, 30)) {
    std::cerr << "[host] no ad became ready\n";
    return 1;
  }
  sdk.showAd(platform.rootViewController(), *delegate->ready);
  loop.runUntil([&] { return delegate->shown || delegate->failed; }, 10);
  return delegate->shown ? 0 : 1;
}
