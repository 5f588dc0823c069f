#include "ScriptedUser.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "Console.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/ViewController.h"

namespace demo {
namespace {
using zelvora::platform::Label;
using zelvora::platform::WebView;

/// The user skips a video that lets them within this many seconds, and watches the others.
constexpr double patienceSeconds = 3;

std::string seconds(double value) {
  return std::to_string(std::lround(value)) + " s";
}

/// A number of the ad's data, when it has one.
std::optional<double> numberIn(const PlacementDescription* description, const char* key) {
  if (!description || !description->data.is_object()) return std::nullopt;
  const auto found = description->data.find(key);
  if (found == description->data.end() || !found->is_number()) return std::nullopt;
  return found->get<double>();
}

/// Whether the ad's data has `key`; nothing when the ad is not known.
std::optional<bool> hasData(const PlacementDescription* description, const char* key) {
  if (!description) return std::nullopt;
  return description->data.is_object() && description->data.contains(key);
}
}  // namespace

ScriptedUser::ScriptedUser(zelvora::platform::headless::HeadlessPlatform& platform,
                           DelegateLog& delegate, std::filesystem::path snapshots)
    : platform_(platform),
      driver_(platform),
      page_(platform, driver_),
      delegate_(delegate),
      snapshots_(std::move(snapshots)) {}

Visit ScriptedUser::visit(const std::string& placement, const PlacementDescription* description) {
  Visit visit;
  holdUpright();
  const auto& registered = delegate_.registered;
  if (std::find(registered.begin(), registered.end(), placement) == registered.end() &&
      delegate_.events(placement).empty()) {
    visit.steps.push_back("not registered by the SDK");
    visit.result = "dropped";
    return visit;
  }

  // Only a wait for what may come: by now the ads that load have had their time.
  const bool mayLoad =
      !description || description->expected == "ok" || description->expected == "no fill";
  waitFor(
      [&] {
        return delegate_.count("onAdReady", placement) > 0 ||
               delegate_.count("onNoAds", placement) > 0;
      },
      mayLoad ? 10 : 1);
  if (delegate_.count("onNoAds", placement) > 0) {
    visit.steps.push_back("the SDK reported no ads");
    return tryUnavailable(placement, "no fill", std::move(visit));
  }
  if (delegate_.count("onAdReady", placement) == 0) {
    const bool disabled = description && description->status != "enabled";
    visit.steps.push_back(disabled ? "disabled: nothing loads" : "never became ready");
    return tryUnavailable(placement, disabled ? "disabled" : "never ready", std::move(visit));
  }

  if (!show(placement)) {
    visit.result = "failed: it did not come on screen";
  } else {
    visit.format = formatOnScreen();
    visit.steps.push_back("shown");
    Console::print(driver_.dumpScreen());
    Failure failure;
    if (description && description->format != visit.format) {
      failure =
          "a " + description->format + " ad was expected on screen, not \"" + visit.format + "\"";
    } else if (visit.format == "banner") {
      failure = playBanner(placement, description, visit);
    } else if (visit.format == "video") {
      failure = playVideo(placement, description, visit);
    } else if (visit.format == "html") {
      failure = playHtml(placement, visit);
    } else if (visit.format == "mraid") {
      failure = playMraid(placement, visit);
    } else {
      failure = "nothing the user recognises came on screen";
    }
    visit.result = failure.empty() ? "ok" : "failed: " + failure;
  }
  // A visit that went wrong may leave its ad up: the next one starts on the host's screen.
  if (const auto root = platform_.rootViewController(); root->presentedViewController()) {
    root->dismiss(false);
    pause(0.5);
  }
  return visit;
}

bool ScriptedUser::waitFor(const std::function<bool()>& done, double seconds) {
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

void ScriptedUser::pause(double seconds) {
  // A power of two: the clock adds steps without rounding, display times stay exact.
  constexpr double step = 0.125;
  for (double left = seconds; left > 0; left -= step) {
    page_.play();
    platform_.runLoop().advance(std::min(step, left));
  }
  page_.play();
}

bool ScriptedUser::pauseUntil(const std::function<bool()>& done, double seconds) {
  for (double waited = 0; !done(); waited += 0.125) {
    if (waited >= seconds) return false;
    pause(0.125);
  }
  return true;
}

void ScriptedUser::snapshot(const std::string& placement, const std::string& name) {
  if (snapshots_.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(snapshots_, error);
  const auto file = snapshots_ / (placement + "-" + name + ".png");
  if (!driver_.snapshot(file)) {
    std::cerr << "zelvora-demo: could not write " << file.string() << "\n";
    return;
  }
  Console::say("snapshot " + file.string());
}

bool ScriptedUser::tap(const std::string& what,
                       const std::shared_ptr<zelvora::platform::View>& view) {
  const bool done = view && driver_.tap(view);
  Console::say(std::string(done ? "tapped " : "could not tap ") + what);
  return done;
}

void ScriptedUser::holdUpright() {
  using zelvora::platform::InterfaceOrientation;
  // A video turns the interface to landscape.
  if (zelvora::platform::Application::shared().statusBarOrientation() ==
      InterfaceOrientation::portrait)
    return;
  Console::say(driver_.rotate(InterfaceOrientation::portrait) ? "turned the phone upright"
                                                              : "could not turn the phone upright");
}

bool ScriptedUser::show(const std::string& placement) {
  const int shown = delegate_.count("onAdShown", placement);
  Console::say("showing " + placement);
  zelvora::ZelController::sharedInstance().showAd(platform_.rootViewController(), placement);
  pause(0.5);
  return pauseUntil([&] { return delegate_.count("onAdShown", placement) > shown; }, 5);
}

std::string ScriptedUser::formatOnScreen() const {
  if (const auto webView = driver_.find<WebView>())
    return ScriptedPage::isMraid(*webView) ? "mraid" : "html";
  if (driver_.findById("skip")) return "video";
  if (driver_.findById("banner")) return "banner";
  return "";
}

ScriptedUser::Failure ScriptedUser::playBanner(const std::string& placement,
                                               const PlacementDescription* description,
                                               Visit& visit) {
  snapshot(placement, "shown");
  const auto clickable = hasData(description, "clk");
  const int clicks = delegate_.count("onAdClick", placement);
  tap("the banner image", driver_.findById("banner"));
  page_.play();  // the landing page loads
  if (driver_.findById("click-through")) {
    visit.steps.push_back("tapped the image: click-through");
    if (clickable == false) return "a banner without a click address opened a click-through";
    if (delegate_.count("onAdClick", placement) != clicks + 1)
      return "the click-through opened without a click reported";
    return comeBackFromClickThrough(placement, visit);
  }
  visit.steps.push_back("tapped the image: nothing happened");
  if (clickable == true) return "tapping the image opened no click-through";
  if (delegate_.count("onAdClick", placement) != clicks)
    return "a click was reported but nothing opened";
  pause(3);
  return closeWithButton(placement, visit);
}

ScriptedUser::Failure ScriptedUser::playVideo(const std::string& placement,
                                              const PlacementDescription* description,
                                              Visit& visit) {
  const double start = platform_.runLoop().now();
  const auto elapsed = [&] { return platform_.runLoop().now() - start; };
  const int closes = delegate_.count("onAdClose", placement);
  pause(1);
  snapshot(placement, "playing");
  if (tap("the sound toggle", driver_.findById("sound"))) visit.steps.push_back("sound on");

  // The overlay goes when the video ends or is skipped.
  const double limit = numberIn(description, "duration").value_or(115) + 5;
  std::optional<double> skippableAt;
  bool skipped = false;
  while (const auto overlay = std::dynamic_pointer_cast<Label>(driver_.findById("skip"))) {
    if (!skippableAt && overlay->text == "Skip") skippableAt = elapsed();
    if (skippableAt && elapsed() <= patienceSeconds) {
      skipped = tap("Skip", overlay);
      break;
    }
    if (elapsed() > limit) return "the video did not end";
    pause(0.125);
  }
  if (skipped) {
    visit.steps.push_back("skipped after " + seconds(elapsed()));
  } else {
    if (skippableAt) visit.steps.push_back("skippable after " + seconds(*skippableAt));
    visit.steps.push_back("watched to the end (" + seconds(elapsed()) + ")");
  }
  pause(0.5);
  const bool card = driver_.findById("banner") && driver_.findById("close");

  if (const auto skippableIn = numberIn(description, "skippableIn")) {
    const double duration = numberIn(description, "duration").value_or(0);
    if (*skippableIn < duration && !skippableAt) return "Skip never appeared";
    // The overlay counts whole seconds of video: Skip may come up to a second late.
    if (skippableAt && (*skippableAt < *skippableIn - 0.25 || *skippableAt > *skippableIn + 1.5))
      return "Skip appeared after " + seconds(*skippableAt) + ", not " + seconds(*skippableIn);
  }
  if (const auto wanted = hasData(description, "landingCard"); wanted && *wanted != card)
    return card ? "a landing card came without one in the ad" : "the landing card did not come";

  if (card) {
    visit.steps.push_back("landing card");
    snapshot(placement, "landing-card");
    pause(2);
    return closeWithButton(placement, visit);
  }
  if (!pauseUntil([&] { return delegate_.count("onAdClose", placement) > closes; }, 3))
    return "the ad did not close after its video";
  visit.steps.push_back("closed by itself");
  return {};
}

ScriptedUser::Failure ScriptedUser::playHtml(const std::string& placement, Visit& visit) {
  snapshot(placement, "shown");
  const int clicks = delegate_.count("onAdClick", placement);
  const auto action = page_.tap(driver_.find<WebView>());
  page_.play();
  if (!action) {
    visit.steps.push_back("tapped the page: nothing happened");
    pause(3);
    return closeWithButton(placement, visit);
  }
  Console::say("tapped the page: " + *action);
  visit.steps.push_back("tapped the page: click-through");
  if (!driver_.findById("click-through")) return "the page navigated but no click-through opened";
  if (delegate_.count("onAdClick", placement) != clicks + 1)
    return "the click-through opened without a click reported";
  return comeBackFromClickThrough(placement, visit);
}

ScriptedUser::Failure ScriptedUser::playMraid(const std::string& placement, Visit& visit) {
  snapshot(placement, "shown");
  const auto webView = driver_.find<WebView>();
  Console::say(placement + "'s page was told:");
  for (const auto& line : ScriptedPage::scriptsRun(*webView)) Console::say("  " + line);

  if (ScriptedPage::closesItself(*webView)) {
    const int closes = delegate_.count("onAdClose", placement);
    const double start = platform_.runLoop().now();
    if (!pauseUntil([&] { return delegate_.count("onAdClose", placement) > closes; },
                    ScriptedPage::selfCloseSeconds + 5))
      return "the creative did not close itself";
    visit.steps.push_back("closed itself after " + seconds(platform_.runLoop().now() - start));
    // The SDK reloads the creative: it stays ready, without telling the host again.
    pause(0.5);
    const int readies = delegate_.count("onAdReady", placement);
    if (!show(placement)) return "it did not come on screen again after closing itself";
    if (delegate_.count("onAdReady", placement) != readies) return "it was reported ready again";
    visit.steps.push_back("shown again");
    pause(2);
    return closeWithButton(placement, visit);
  }

  auto& opened = platform_.urlHandler().openedUrls;
  const auto before = opened.size();
  if (const auto action = page_.tap(webView)) {
    Console::say("tapped the creative: " + *action);
    pause(0.5);
    visit.openedUrls.assign(opened.begin() + static_cast<std::ptrdiff_t>(before), opened.end());
    if (visit.openedUrls.empty()) return "the creative asked to open a page; nothing opened";
    visit.steps.push_back("tapped: the system opened " + visit.openedUrls.back());
    pause(2);
    return closeWithButton(placement, visit);
  }
  visit.steps.push_back("tapped the creative: nothing happened");
  pause(3);
  return closeWithButton(placement, visit);
}

ScriptedUser::Failure ScriptedUser::comeBackFromClickThrough(const std::string& placement,
                                                             Visit& visit) {
  snapshot(placement, "click-through");
  pause(2);  // reading the landing page
  const int closes = delegate_.count("onAdClose", placement);
  if (!tap("Go Back", driver_.findByTitle("Go Back"))) return "the click-through has no Go Back";
  pause(0.5);
  if (delegate_.count("onAdClose", placement) != closes + 1) return "Go Back did not close the ad";
  visit.steps.push_back("Go Back");
  if (!show(placement)) return "it did not come on screen again";
  visit.steps.push_back("shown again");
  pause(3);
  return closeWithButton(placement, visit);
}

ScriptedUser::Failure ScriptedUser::closeWithButton(const std::string& placement, Visit& visit) {
  const int closes = delegate_.count("onAdClose", placement);
  if (!tap("the close button", driver_.findById("close"))) return "there is no close button";
  pause(0.5);
  if (delegate_.count("onAdClose", placement) != closes + 1)
    return "the close button did not close the ad";
  visit.steps.push_back("closed");
  return {};
}

Visit ScriptedUser::tryUnavailable(const std::string& placement, std::string result, Visit visit) {
  const int failures = delegate_.count("onAdFailedToShow", placement);
  const int shown = delegate_.count("onAdShown", placement);
  Console::say("showing " + placement);
  zelvora::ZelController::sharedInstance().showAd(platform_.rootViewController(), placement);
  pause(0.5);
  if (delegate_.count("onAdShown", placement) != shown) {
    visit.result = "failed: it came on screen although it was " + result;
    platform_.rootViewController()->dismiss(false);
    pause(0.5);
    return visit;
  }
  visit.steps.push_back(delegate_.count("onAdFailedToShow", placement) > failures
                            ? "show: failed to show"
                            : "show: nothing happened");
  visit.result = std::move(result);
  return visit;
}

}  // namespace demo
