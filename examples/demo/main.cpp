// zelvora-demo: a host application in miniature. It starts the reference ad server on
// loopback (unless --server names another), initialises the SDK against it, and plays the
// user: it shows the banner (through its click-through and back, then closed), watches a
// video to its landing card and skips another. It
// prints the SDK's console lines, the delegate's callbacks and the beacons the server
// received, and with --snapshots DIR writes PNG pictures of the screen.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/server/ReferenceServer.h"

namespace {

using zelvora::platform::headless::HeadlessPlatform;
using zelvora::platform::headless::TestDriver;

struct Options {
  std::string serverUrl;
  std::string appId = "zelvora-demo";
  std::string campaignsFile = ZELVORA_SERVER_DATA_DIR "/campaigns/sample.json";
  std::filesystem::path snapshots;
};

void say(const std::string& line) {
  std::cout << "[demo] " << line << std::endl;
}

/// Prints every callback and remembers what happened.
class PrintingDelegate : public zelvora::ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override {
    std::string ids;
    for (const auto& id : placementIds) ids += (ids.empty() ? "" : ", ") + id;
    print("onInit [" + ids + "]");
    initDone = true;
  }
  void onInitError(const std::string& message) override {
    print("onInitError " + message);
    initFailed = true;
  }
  void onNoAds(const std::string& id) override { print("onNoAds " + id); }
  void onAdReady(const std::string& id) override { record("onAdReady", id); }
  void onAdShown(const std::string& id) override { record("onAdShown", id); }
  void onAdFailedToShow(const std::string& id) override { record("onAdFailedToShow", id); }
  void onAdClose(const std::string& id) override { record("onAdClose", id); }
  void onAdClick(const std::string& id) override { record("onAdClick", id); }

  /// How often `event` was reported for `placement`.
  int count(const std::string& event, const std::string& placement) const {
    int n = 0;
    for (const auto& entry : events) n += entry == event + " " + placement;
    return n;
  }

  bool initDone = false;
  bool initFailed = false;
  std::vector<std::string> events;

 private:
  void record(const std::string& event, const std::string& id) {
    events.push_back(event + " " + id);
    print(events.back());
  }
  static void print(const std::string& line) { std::cout << "[delegate] " << line << std::endl; }
};

std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 < argc && flag == "--server") {
      options.serverUrl = argv[++i];
    } else if (i + 1 < argc && flag == "--app-id") {
      options.appId = argv[++i];
    } else if (i + 1 < argc && flag == "--campaigns") {
      options.campaignsFile = argv[++i];
    } else if (i + 1 < argc && flag == "--snapshots") {
      options.snapshots = argv[++i];
    } else {
      std::cerr << "usage: zelvora-demo [--server URL] [--app-id ID] [--campaigns FILE]\n"
                   "                    [--snapshots DIR]\n";
      return std::nullopt;
    }
  }
  return options;
}

/// The scripted user of the demo.
class ScriptedUser {
 public:
  ScriptedUser(HeadlessPlatform& platform, PrintingDelegate& delegate,
               std::filesystem::path snapshots)
      : platform_(platform),
        driver_(platform),
        delegate_(delegate),
        snapshots_(std::move(snapshots)) {}

  bool waitFor(const std::function<bool()>& done, double seconds = 10) {
    return platform_.runLoop().runUntil(done, seconds);
  }

  /// Lets `seconds` pass on the demo's clock: transitions, timers and video time.
  void pause(double seconds) { platform_.runLoop().advance(seconds); }

  void snapshot(const std::string& name) {
    if (snapshots_.empty()) return;
    std::filesystem::create_directories(snapshots_);
    const auto file = snapshots_ / (name + ".png");
    say(driver_.snapshot(file) ? "snapshot " + file.string() : "could not write " + file.string());
  }

  bool tap(const std::string& what, const std::shared_ptr<zelvora::platform::View>& view) {
    const bool done = view && driver_.tap(view);
    say(std::string(done ? "tapped " : "could not tap ") + what);
    return done;
  }

  /// Shows `placement` and lets its presentation finish; false when it never became ready.
  bool show(const std::string& placement) {
    if (!waitFor([&] { return delegate_.count("onAdReady", placement) > 0; })) {
      say(placement + " never became ready");
      return false;
    }
    say("showing " + placement);
    zelvora::ZelController::sharedInstance().showAd(platform_.rootViewController(), placement);
    pause(0.5);
    return true;
  }

  /// Shows the banner, follows its click to the landing page, goes back; shows it again and
  /// closes it with the close button.
  bool playBanner(const std::string& placement) {
    if (!show(placement)) return false;
    snapshot("banner");
    std::cout << driver_.dumpScreen();
    tap("the banner image", driver_.findById("banner"));
    if (auto webView = driver_.find<zelvora::platform::WebView>()) {
      driver_.finishLoading(webView);
      snapshot("banner-landing-page");
      pause(3);  // reading the landing page
    }
    tap("Go Back", driver_.findByTitle("Go Back"));
    pause(0.5);

    if (!show(placement)) return false;
    pause(12.5);
    tap("the close button", driver_.findById("close"));
    pause(0.5);
    return delegate_.count("onAdClose", placement) == 2 &&
           delegate_.count("onAdClick", placement) == 1;
  }

  /// Watches the video to its end with the sound on, then closes its landing card.
  bool playVideoToTheEnd(const std::string& placement, int seconds) {
    if (!show(placement)) return false;
    pause(2);
    snapshot("video-playing");
    tap("the sound toggle", driver_.findById("sound"));
    pause(3);
    snapshot("video-get-application");
    pause(seconds);
    snapshot("video-landing-card");
    tap("the landing card's close button", driver_.findById("close"));
    pause(0.5);
    return delegate_.count("onAdClose", placement) == 1;
  }

  /// Skips the video as soon as it can; there is no landing card, so the ad closes.
  bool skipVideo(const std::string& placement) {
    if (!show(placement)) return false;
    pause(1);
    tap("Skip", driver_.findByTitle("Skip"));
    pause(0.5);
    return delegate_.count("onAdClose", placement) == 1;
  }

 private:
  HeadlessPlatform& platform_;
  TestDriver driver_;
  PrintingDelegate& delegate_;
  std::filesystem::path snapshots_;
};

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseArguments(argc, argv);
  if (!options) return 2;

  zelvora::setLogSink([](std::string_view line) { std::cout << "[sdk] " << line << std::endl; });
  // The manual clock: time moves when the scripted user waits, so the tour runs in no real
  // time and its display times are exact. Network answers still arrive in real time.
  HeadlessPlatform platform({}, zelvora::platform::headless::ClockMode::manual);

  std::unique_ptr<zelvora::server::ReferenceServer> server;
  std::string endpoint = options->serverUrl;
  if (endpoint.empty()) {
    try {
      zelvora::server::ServerOptions serverOptions;
      serverOptions.campaigns =
          zelvora::server::ReferenceServer::loadCampaigns(options->campaignsFile);
      serverOptions.assetDirectory = ZELVORA_SERVER_DATA_DIR "/assets";
      server = std::make_unique<zelvora::server::ReferenceServer>(serverOptions);
      server->start();
    } catch (const std::exception& error) {
      std::cerr << "zelvora-demo: " << error.what() << "\n";
      return 1;
    }
    endpoint = server->endpointUrl();
    say("reference server at " + server->baseUrl());
  }

  auto& sdk = zelvora::ZelController::sharedInstance();
  auto delegate = std::make_shared<PrintingDelegate>();
  sdk.setEventDelegate(delegate);
  zelvora::ServerConfiguration configuration;
  configuration.url = endpoint;
  sdk.setServerConfiguration(configuration);
  say("SDK " + sdk.sdkVersion() + ", initialising app " + options->appId + " against " + endpoint);
  sdk.initialize(options->appId);

  // The HTTP client gives up after its own time-out, so this always ends.
  platform.runLoop().runUntil([&] { return delegate->initDone; }, 120);
  if (!delegate->initDone || delegate->initFailed) {
    say("initialisation failed");
    return 1;
  }
  say("initialised with " + std::to_string(sdk.placements().size()) + " placement(s)");

  ScriptedUser user(platform, *delegate, options->snapshots);
  bool played = true;
  if (sdk.placements().contains("banner-interstitial"))
    played &= user.playBanner("banner-interstitial");
  if (sdk.placements().contains("video-with-landing-card"))
    played &= user.playVideoToTheEnd("video-with-landing-card", 8);
  if (sdk.placements().contains("video-skippable")) played &= user.skipVideo("video-skippable");

  if (server) {
    // Beacons are fire-and-forget: give the last ones a moment to arrive.
    std::size_t seen = 0;
    do {
      seen = server->beacons().size();
      platform.runLoop().runUntil([] { return false; }, 1.0);
    } while (seen != server->beacons().size());
    for (const auto& request : server->placementsRequests())
      say("server: getPlacements from app " + request.body["data"].value("app", "") +
          ", signature " + (request.signatureValid ? "valid" : "INVALID"));
    for (const auto& beacon : server->beacons())
      say("server: beacon " + beacon.method + " " + beacon.target);
  }
  say(played ? "done" : "an ad did not play as expected");
  return played ? 0 : 1;
}
