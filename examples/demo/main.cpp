// zelvora-demo: a host application in miniature. It starts the reference ad server on
// loopback (unless --server names another), initialises the SDK against it, and plays the
// user: it shows the banner (through its click-through and back, then closed), watches a
// video to its landing card and skips another, follows the HTML ad's link and back, watches
// the MRAID creative close itself, and asks for the MRAID ad that has nothing to show. The
// headless backend runs no JavaScript, so the demo also plays the pages' side. It prints the
// SDK's console lines, the delegate's callbacks and the beacons the server received, and
// with --snapshots DIR writes PNG pictures of the screen.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/server/ReferenceServer.h"

namespace {

using zelvora::platform::PageRecord;
using zelvora::platform::WebView;
using zelvora::platform::headless::HeadlessPlatform;
using zelvora::platform::headless::NavigationStep;
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
  void onNoAds(const std::string& id) override { record("onNoAds", id); }
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

/// Where the journal's latest load is: a document (its markup) or a request (its URL).
std::optional<std::size_t> latestLoad(const WebView& webView) {
  const auto& journal = webView.journal();
  for (std::size_t i = journal.size(); i-- > 0;) {
    if (journal[i].kind == PageRecord::Kind::document ||
        journal[i].kind == PageRecord::Kind::request)
      return i;
  }
  return std::nullopt;
}

/// The latest document's markup, when the latest load is one.
std::optional<std::string> currentMarkup(const WebView& webView) {
  const auto at = latestLoad(webView);
  if (!at || webView.journal()[*at].kind != PageRecord::Kind::document) return std::nullopt;
  return webView.journal()[*at].text;
}

/// The address of the first link in `markup`.
std::optional<std::string> firstLink(const std::string& markup) {
  const auto href = markup.find("href=");
  if (href == std::string::npos || href + 6 > markup.size()) return std::nullopt;
  const char quote = markup[href + 5];
  const auto end = markup.find(quote, href + 6);
  if (end == std::string::npos) return std::nullopt;
  return markup.substr(href + 6, end - href - 6);
}

/// `text` on one line of at most `width` characters. Pretty-printed JSON inside string literals
/// ("\n" escapes) counts as white space too.
std::string compact(const std::string& text, std::size_t width = 120) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escapedNewline = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n';
    if (escapedNewline || std::isspace(static_cast<unsigned char>(text[i]))) {
      if (escapedNewline) ++i;
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += text[i];
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line.size() <= width ? line : line.substr(0, width - 3) + "...";
}

/// The pages' side of the web views, played as an engine and the creatives' scripts would: a
/// load the SDK asks for runs to its end soon after, and a creative that calls
/// mraid.fallback() as it loads posts that to the SDK before its document finishes.
class ScriptedPage {
 public:
  explicit ScriptedPage(TestDriver& driver) : driver_(driver) {}

  /// Whether some web view has a load that was not played yet.
  bool hasWork() const {
    const auto all = driver_.allWebViews();
    return std::any_of(all.begin(), all.end(), [&](const auto& view) { return pending(view); });
  }

  /// Plays every pending load.
  void play() {
    std::erase_if(played_, [](const auto& entry) { return entry.first.expired(); });
    for (const auto& webView : driver_.allWebViews()) {
      if (pending(webView)) load(webView);
    }
  }

  /// The user clicks a link to `url` in the page. The landing page opens in the SDK's
  /// click-through web view; the page's own navigation is left provisional.
  void followLink(const std::shared_ptr<WebView>& webView, const std::string& url) {
    driver_.startNavigation(webView, url);
    played_[webView] = webView->currentNavigation().id;
  }

  /// The page's script posts `body` to the MRAID bridge; returns whether the SDK took it.
  bool postToBridge(const std::shared_ptr<WebView>& webView, const nlohmann::ordered_json& body) {
    return driver_.postMessage(webView, "mraidHostBridge", body);
  }

 private:
  bool pending(const std::shared_ptr<WebView>& webView) const {
    const auto found = played_.find(webView);
    return found == played_.end() || found->second != webView->currentNavigation().id;
  }

  void load(const std::shared_ptr<WebView>& webView) {
    const auto navigation = webView->currentNavigation().id;
    played_[webView] = navigation;
    const auto markup = currentMarkup(*webView);
    const bool fallsBack = markup && markup->find("mraid.fallback()") != std::string::npos;
    driver_.playNavigation(webView, {NavigationStep::start(), NavigationStep::commit()});
    if (fallsBack) {
      say("page: the creative calls mraid.fallback() as it loads");
      postToBridge(webView, {{"name", "fallback"}});
    }
    // The SDK may have loaded something else meanwhile: that load is played next time.
    if (webView->currentNavigation().id == navigation)
      driver_.playNavigation(webView, {NavigationStep::finish()});
  }

  TestDriver& driver_;
  /// The latest navigation played (or left to the user) in each web view.
  std::map<std::weak_ptr<WebView>, std::uint64_t, std::owner_less<>> played_;
};

/// Prints the scripts the SDK ran in `webView`'s page from journal entry `from` on; returns
/// where the next call starts.
std::size_t printScripts(const WebView& webView, std::size_t from) {
  const auto& journal = webView.journal();
  for (std::size_t i = from; i < journal.size(); ++i) {
    const auto& record = journal[i];
    if (record.kind == PageRecord::Kind::userScript) {
      say("  user script (" + std::to_string(record.text.size()) +
          " characters): " + compact(record.text, 60));
    } else if (record.kind == PageRecord::Kind::script) {
      const std::string& text = record.text;
      const std::string property = "window.mraidData.";
      if (text.rfind(property, 0) != 0) {
        say("  " + compact(text));
        continue;
      }
      // A script may set several properties at once: one line each.
      for (std::size_t at = 0; at != std::string::npos;) {
        const auto next = text.find(property, at + property.size());
        say("  " + compact(text.substr(at, next - at)));
        at = next;
      }
    }
  }
  return journal.size();
}

/// The scripted user of the demo.
class ScriptedUser {
 public:
  ScriptedUser(HeadlessPlatform& platform, PrintingDelegate& delegate,
               std::filesystem::path snapshots)
      : platform_(platform),
        driver_(platform),
        page_(driver_),
        delegate_(delegate),
        snapshots_(std::move(snapshots)) {}

  /// Waits up to `seconds` of real time (network answers) for `done`, playing the pages
  /// meanwhile.
  bool waitFor(const std::function<bool()>& done, double seconds = 10) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
      page_.play();
      if (done()) return true;
      const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      platform_.runLoop().runUntil([&] { return done() || page_.hasWork(); }, left);
    }
  }

  /// Lets `seconds` pass on the demo's clock: transitions, timers and video time. Pages load
  /// within a step.
  void pause(double seconds) {
    // A power of two: the clock adds steps without rounding, display times stay exact.
    constexpr double step = 0.125;
    for (double left = seconds; left > 0; left -= step) {
      page_.play();
      platform_.runLoop().advance(std::min(step, left));
    }
    page_.play();
  }

  /// Lets the clock run until `done`, for at most `seconds`.
  bool pauseUntil(const std::function<bool()>& done, double seconds) {
    for (double waited = 0; !done(); waited += 0.125) {
      if (waited >= seconds) return false;
      pause(0.125);
    }
    return true;
  }

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

  /// Shows `placement` and lets its presentation finish; false when it never became ready or
  /// never came on screen.
  bool show(const std::string& placement) {
    if (!waitFor([&] { return delegate_.count("onAdReady", placement) > 0; })) {
      say(placement + " never became ready");
      return false;
    }
    say("showing " + placement);
    const int shown = delegate_.count("onAdShown", placement);
    zelvora::ZelController::sharedInstance().showAd(platform_.rootViewController(), placement);
    pause(0.5);
    if (!pauseUntil([&] { return delegate_.count("onAdShown", placement) > shown; }, 5)) {
      say(placement + " did not come on screen");
      return false;
    }
    return true;
  }

  /// Shows the banner, follows its click to the landing page, goes back; shows it again and
  /// closes it with the close button.
  bool playBanner(const std::string& placement) {
    if (!show(placement)) return false;
    snapshot("banner");
    std::cout << driver_.dumpScreen();
    tap("the banner image", driver_.findById("banner"));
    page_.play();  // the landing page loads
    if (driver_.find<WebView>()) {
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

  /// The video turned the interface to landscape: the user holds the phone upright again.
  void holdUpright() {
    using zelvora::platform::InterfaceOrientation;
    if (zelvora::platform::Application::shared().statusBarOrientation() ==
        InterfaceOrientation::portrait)
      return;
    say(driver_.rotate(InterfaceOrientation::portrait) ? "turned the phone upright"
                                                       : "could not turn the phone upright");
  }

  /// Shows the HTML ad, follows the link in its page and goes back; shows it again and
  /// closes it with the close button.
  bool playHtml(const std::string& placement) {
    holdUpright();
    if (!show(placement)) return false;
    snapshot("html");
    const auto webView = driver_.find<WebView>();
    const auto markup = webView ? currentMarkup(*webView) : std::nullopt;
    const auto link = markup ? firstLink(*markup) : std::nullopt;
    if (!link) {
      say(placement + ": no link to follow in the page");
      return false;
    }
    say("clicking the page's link to " + *link);
    page_.followLink(webView, *link);
    pause(0.5);
    snapshot("html-landing-page");
    pause(3);  // reading the landing page
    tap("Go Back", driver_.findByTitle("Go Back"));
    pause(0.5);

    if (!show(placement)) return false;
    pause(5);
    tap("the close button", driver_.findById("close"));
    pause(0.5);
    return delegate_.count("onAdShown", placement) == 2 &&
           delegate_.count("onAdClose", placement) == 2 &&
           delegate_.count("onAdClick", placement) == 1;
  }

  /// Shows the MRAID ad and prints what its page is told, until the creative closes itself;
  /// shows the reloaded creative again and closes it with the close button.
  bool playMraid(const std::string& placement) {
    holdUpright();
    if (!show(placement)) return false;
    snapshot("mraid");
    const auto webView = driver_.find<WebView>();
    if (!webView) {
      say(placement + ": no web view on screen");
      return false;
    }
    const auto document = latestLoad(*webView);
    say(placement + "'s page was told:");
    const auto printed = printScripts(*webView, document ? *document + 1 : 0);

    pause(5);  // the creative's countdown
    say("page: the creative calls mraid.close()");
    if (!page_.postToBridge(webView, {{"name", "close"}})) {
      say(placement + ": the SDK did not take the page's message");
      return false;
    }
    pause(0.5);
    say(placement + "'s page was told:");
    printScripts(*webView, printed);

    if (!show(placement)) return false;
    pause(2);
    tap("the close button", driver_.findById("close"));
    pause(0.5);
    return delegate_.count("onAdReady", placement) == 1 &&
           delegate_.count("onAdShown", placement) == 2 &&
           delegate_.count("onAdClose", placement) == 2;
  }

  /// The creative fell back while it preloaded: showing it fails.
  bool playFallback(const std::string& placement) {
    if (!waitFor([&] { return delegate_.count("onNoAds", placement) > 0; })) {
      say(placement + " did not fall back");
      return false;
    }
    say("showing " + placement);
    zelvora::ZelController::sharedInstance().showAd(platform_.rootViewController(), placement);
    pause(0.5);
    const bool failed = delegate_.count("onAdFailedToShow", placement) == 1 &&
                        delegate_.count("onAdShown", placement) == 0;
    say(placement +
        (failed ? " has nothing to show: the host was told so" : " did not fail as expected"));
    return failed;
  }

 private:
  HeadlessPlatform& platform_;
  TestDriver driver_;
  ScriptedPage page_;
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
  if (sdk.placements().contains("html-interstitial")) played &= user.playHtml("html-interstitial");
  if (sdk.placements().contains("mraid-interstitial"))
    played &= user.playMraid("mraid-interstitial");
  if (sdk.placements().contains("mraid-fallback")) played &= user.playFallback("mraid-fallback");

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
