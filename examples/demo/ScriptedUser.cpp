#include "ScriptedUser.h"

#include <algorithm>
#include <cmath>

#include "Console.h"
#include "ScriptedPage.h"
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

/// "(x, y) WxH", in whole points.
std::string describe(const zelvora::platform::Rect& rect) {
  const auto whole = [](double value) { return std::to_string(std::lround(value)); };
  return "(" + whole(rect.x) + ", " + whole(rect.y) + ") " + whole(rect.width) + "x" +
         whole(rect.height);
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

ScriptedUser::ScriptedUser(Stage& stage, DelegateLog& delegate, std::filesystem::path snapshots)
    : stage_(stage), delegate_(delegate), snapshots_(std::move(snapshots)) {}

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
  const auto settled = [&] {
    return delegate_.count("onAdReady", placement) > 0 || delegate_.count("onNoAds", placement) > 0;
  };
  stage_.waitFor(settled, mayLoad ? 10 : 1);
  // A failed load is tried again after its backoff, which only time passing brings (the
  // headless clock stands still while the tour waits), and the download that follows takes
  // real time: two failures take 2 s + 4 s and jitter.
  if (mayLoad && delegate_.count("onAdFailedToLoad", placement) > 0) {
    for (double waited = 0; !settled() && waited < 16; waited += 0.5) {
      stage_.pause(0.5);
      stage_.waitFor(settled, 0.25);
    }
  }
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
    Console::print(stage_.dumpScreen());
    Failure failure;
    // A VAST ad plays on the video player.
    const std::string wanted = description && description->format == "videoVast" ? "video"
                               : description ? description->format
                                             : "";
    if (description && wanted != visit.format) {
      failure = "a " + wanted + " ad was expected on screen, not \"" + visit.format + "\"";
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
  if (const auto root = stage_.backend().rootViewController(); root->presentedViewController()) {
    root->dismiss(false);
    stage_.pause(0.5);
  }
  return visit;
}

void ScriptedUser::snapshot(const std::string& placement, const std::string& name) {
  if (snapshots_.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(snapshots_, error);
  const auto file = snapshots_ / (placement + "-" + name + ".png");
  if (!stage_.snapshot(file)) {
    std::cerr << "zelvora-demo: could not write " << file.string() << "\n";
    return;
  }
  Console::say("snapshot " + file.string());
}

bool ScriptedUser::tap(const std::string& what,
                       const std::shared_ptr<zelvora::platform::View>& view) {
  const bool done = view && stage_.tap(view);
  Console::say(std::string(done ? "tapped " : "could not tap ") + what);
  return done;
}

void ScriptedUser::holdUpright() {
  using zelvora::platform::InterfaceOrientation;
  // A video turns the interface to landscape.
  if (zelvora::platform::Application::shared().statusBarOrientation() ==
      InterfaceOrientation::portrait)
    return;
  Console::say(stage_.rotate(InterfaceOrientation::portrait) ? "turned the phone upright"
                                                             : "could not turn the phone upright");
}

bool ScriptedUser::show(const std::string& placement) {
  const int shown = delegate_.count("onAdShown", placement);
  Console::say("showing " + placement);
  zelvora::ZelController::sharedInstance().showAd(stage_.backend().rootViewController(), placement);
  stage_.pause(0.5);
  return stage_.pauseUntil([&] { return delegate_.count("onAdShown", placement) > shown; }, 5);
}

std::string ScriptedUser::formatOnScreen() const {
  if (const auto webView = stage_.findWebView())
    return ScriptedPage::isMraid(*webView) ? "mraid" : "html";
  if (stage_.findById("skip")) return "video";
  if (stage_.findById("banner")) return "banner";
  return "";
}

ScriptedUser::Failure ScriptedUser::playBanner(const std::string& placement,
                                               const PlacementDescription* description,
                                               Visit& visit) {
  snapshot(placement, "shown");
  if (auto failure = checkPlace(placement, "image", visit); !failure.empty()) return failure;
  const auto clickable = hasData(description, "clk");
  const int clicks = delegate_.count("onAdClick", placement);
  const int closes = delegate_.count("onAdClose", placement);
  tap("the banner image", stage_.findById("banner"));
  stage_.letPagesLoad();
  if (delegate_.count("onAdClose", placement) > closes) {
    visit.steps.push_back("tapped the image: the ad closed");
    return "the ad closed instead of showing its click-through";
  }
  if (stage_.findById("click-through")) {
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
  stage_.pause(3);
  if (auto failure = closeWithButton(placement, visit); !failure.empty()) return failure;
  if (!show(placement)) return "it did not come on screen again";
  visit.steps.push_back("shown again");
  if (auto failure = checkPlace(placement, "image", visit); !failure.empty()) return failure;
  stage_.pause(1);
  return closeWithButton(placement, visit);
}

ScriptedUser::Failure ScriptedUser::playVideo(const std::string& placement,
                                              const PlacementDescription* description,
                                              Visit& visit) {
  const int closes = delegate_.count("onAdClose", placement);
  bool card = false;
  if (auto failure = watchVideo(placement, description, false, visit, card); !failure.empty())
    return failure;
  if (!card) {
    if (!stage_.pauseUntil([&] { return delegate_.count("onAdClose", placement) > closes; }, 3))
      return "the ad did not close after its video";
    visit.steps.push_back("closed by itself");
    return {};
  }
  if (auto failure = closeLandingCard(placement, false, visit); !failure.empty()) return failure;
  if (!show(placement)) return "it did not come on screen again";
  visit.steps.push_back("shown again");
  if (auto failure = watchVideo(placement, description, true, visit, card); !failure.empty())
    return failure;
  if (!card) return "the landing card did not come again";
  return closeLandingCard(placement, true, visit);
}

ScriptedUser::Failure ScriptedUser::watchVideo(const std::string& placement,
                                               const PlacementDescription* description, bool again,
                                               Visit& visit, bool& card) {
  const double start = stage_.backend().mainQueue().now();
  const auto elapsed = [&] { return stage_.backend().mainQueue().now() - start; };
  stage_.pause(1);
  snapshot(placement, again ? "playing-again" : "playing");
  if (tap("the sound toggle", stage_.findById("sound"))) visit.steps.push_back("sound on");

  // The overlay goes when the video ends or is skipped.
  const double limit = numberIn(description, "duration").value_or(115) + 5;
  std::optional<double> skippableAt;
  bool skipped = false;
  while (const auto overlay = std::dynamic_pointer_cast<Label>(stage_.findById("skip"))) {
    if (!skippableAt && overlay->text == "Skip") skippableAt = elapsed();
    if (skippableAt && elapsed() <= patienceSeconds) {
      skipped = tap("Skip", overlay);
      break;
    }
    if (elapsed() > limit) return "the video did not end";
    stage_.pause(0.125);
  }
  if (skipped) {
    visit.steps.push_back("skipped after " + seconds(elapsed()));
  } else {
    if (skippableAt) visit.steps.push_back("skippable after " + seconds(*skippableAt));
    visit.steps.push_back("watched to the end (" + seconds(elapsed()) + ")");
  }
  stage_.pause(0.5);
  card = cardOnScreen() && stage_.findById("close");

  if (const auto skippableIn = numberIn(description, "skippableIn")) {
    const double duration = numberIn(description, "duration").value_or(0);
    if (*skippableIn < duration && !skippableAt) return "Skip never appeared";
    // The overlay counts whole seconds of video: Skip may come up to a second late, and on the
    // real clock the player takes a moment to start.
    const double late = stage_.realTime() ? 2.5 : 1.5;
    if (skippableAt && (*skippableAt < *skippableIn - 0.25 || *skippableAt > *skippableIn + late))
      return "Skip appeared after " + seconds(*skippableAt) + ", not " + seconds(*skippableIn);
  }
  // A VAST ad's end card comes with its document, which the user does not read.
  const bool vast = description && description->format == "videoVast";
  if (const auto wanted = hasData(description, "landingCard"); !vast && wanted && *wanted != card)
    return card ? "a landing card came without one in the ad" : "the landing card did not come";
  return {};
}

ScriptedUser::Failure ScriptedUser::closeLandingCard(const std::string& placement, bool again,
                                                     Visit& visit) {
  visit.steps.push_back("landing card");
  snapshot(placement, again ? "landing-card-again" : "landing-card");
  if (auto failure = checkPlace(placement, "landing card", visit); !failure.empty()) return failure;
  stage_.pause(2);
  return closeWithButton(placement, visit);
}

std::shared_ptr<zelvora::platform::View> ScriptedUser::cardOnScreen() const {
  // An image, or a page drawn from a VAST companion's markup.
  if (auto image = stage_.findById("banner")) return image;
  return stage_.findById("html-card");
}

ScriptedUser::Failure ScriptedUser::checkPlace(const std::string& placement,
                                               const std::string& what, Visit& visit) {
  const auto image = what == "landing card" ? cardOnScreen() : stage_.findById("banner");
  if (!image) return "no " + what + " on screen";
  const auto place = image->frameInRoot();
  const auto [first, noted] = places_.try_emplace({placement, what}, place);
  if (noted) return {};
  if (first->second != place)
    return "the " + what + " moved: " + describe(first->second) + " on the first showing, " +
           describe(place) + " now";
  visit.steps.push_back(what + " where it was the first time");
  return {};
}

ScriptedUser::Failure ScriptedUser::playHtml(const std::string& placement, Visit& visit) {
  snapshot(placement, "shown");
  const int clicks = delegate_.count("onAdClick", placement);
  const auto action = stage_.tapPage(stage_.findWebView());
  stage_.letPagesLoad();
  if (!action) {
    visit.steps.push_back("tapped the page: nothing happened");
    stage_.pause(3);
    return closeWithButton(placement, visit);
  }
  Console::say("tapped the page: " + *action);
  visit.steps.push_back("tapped the page: click-through");
  if (!stage_.findById("click-through")) return "the page navigated but no click-through opened";
  if (delegate_.count("onAdClick", placement) != clicks + 1)
    return "the click-through opened without a click reported";
  return comeBackFromClickThrough(placement, visit);
}

ScriptedUser::Failure ScriptedUser::playMraid(const std::string& placement, Visit& visit) {
  snapshot(placement, "shown");
  const auto webView = stage_.findWebView();
  Console::say(placement + "'s page was told:");
  for (const auto& line : ScriptedPage::scriptsRun(*webView)) Console::say("  " + line);
  // What the creative measured itself by, read once its showing is over.
  struct Exposures {
    ScriptedUser& user;
    std::shared_ptr<zelvora::platform::WebView> page;
    Visit& visit;
    ~Exposures() { user.noteExposures(page, visit); }
  } exposures{*this, webView, visit};

  if (const auto orientation = ScriptedPage::forcedOrientation(*webView)) {
    using zelvora::platform::Application;
    using zelvora::platform::InterfaceOrientation;
    const bool landscape = *orientation == "landscape";
    if (zelvora::platform::isLandscape(Application::shared().statusBarOrientation()) != landscape)
      return "the creative holds the screen in " + *orientation + "; the interface did not turn";
    const bool turned = stage_.rotate(landscape ? InterfaceOrientation::portrait
                                                : InterfaceOrientation::landscapeRight);
    if (turned) return "the creative holds the screen in " + *orientation + "; it turned anyway";
    visit.steps.push_back("held in " + *orientation + " as the creative asked");
    snapshot(placement, *orientation);
    stage_.pause(2);
    return closeWithButton(placement, visit);
  }

  if (ScriptedPage::closesItself(*webView)) {
    const int closes = delegate_.count("onAdClose", placement);
    const double start = stage_.backend().mainQueue().now();
    if (!stage_.pauseUntil([&] { return delegate_.count("onAdClose", placement) > closes; },
                           ScriptedPage::selfCloseSeconds + 5))
      return "the creative did not close itself";
    visit.steps.push_back("closed itself after " +
                          seconds(stage_.backend().mainQueue().now() - start));
    // The SDK reloads the creative without telling the host again; until the fresh page has
    // loaded, showAd is answered "not ready yet", so the host tries again.
    stage_.pause(0.5);
    const int readies = delegate_.count("onAdReady", placement);
    bool again = false;
    for (int attempt = 0; attempt < 4 && !again; ++attempt) again = show(placement);
    if (!again) return "it did not come on screen again after closing itself";
    noteExposures(webView, visit);
    exposures.page = stage_.findWebView();
    if (delegate_.count("onAdReady", placement) != readies) return "it was reported ready again";
    visit.steps.push_back("shown again");
    stage_.pause(2);
    return closeWithButton(placement, visit);
  }

  const auto& opened = stage_.backend().urlHandler().openedUrls();
  const auto before = opened.size();
  if (const auto action = stage_.tapPage(webView)) {
    Console::say("tapped the creative: " + *action);
    stage_.pause(0.5);
    visit.openedUrls.assign(opened.begin() + static_cast<std::ptrdiff_t>(before), opened.end());
    if (visit.openedUrls.empty()) return "the creative asked to open a page; nothing opened";
    visit.steps.push_back("tapped: the system opened " + visit.openedUrls.back());
    stage_.pause(2);
    return closeWithButton(placement, visit);
  }
  visit.steps.push_back("tapped the creative: nothing happened");
  stage_.pause(3);
  return closeWithButton(placement, visit);
}

void ScriptedUser::noteExposures(const std::shared_ptr<zelvora::platform::WebView>& webView,
                                 Visit& visit) {
  if (!webView) return;
  std::string seen;
  for (const auto& percentage : ScriptedPage::exposuresTold(*webView))
    seen += (seen.empty() ? "" : ", ") + percentage;
  Console::say("the creative's exposure went " + (seen.empty() ? "nowhere" : seen));
  visit.steps.push_back("exposure: " + (seen.empty() ? "none" : seen));
}

ScriptedUser::Failure ScriptedUser::comeBackFromClickThrough(const std::string& placement,
                                                             Visit& visit) {
  snapshot(placement, "click-through");
  stage_.pause(2);  // reading the landing page
  const int closes = delegate_.count("onAdClose", placement);
  if (!tap("Go Back", stage_.findByTitle("Go Back"))) return "the click-through has no Go Back";
  stage_.pause(0.5);
  if (delegate_.count("onAdClose", placement) != closes + 1) return "Go Back did not close the ad";
  visit.steps.push_back("Go Back");
  if (!show(placement)) return "it did not come on screen again";
  visit.steps.push_back("shown again");
  if (stage_.findById("banner")) {
    if (auto failure = checkPlace(placement, "image", visit); !failure.empty()) return failure;
  }
  stage_.pause(3);
  return closeWithButton(placement, visit);
}

ScriptedUser::Failure ScriptedUser::closeWithButton(const std::string& placement, Visit& visit) {
  const int closes = delegate_.count("onAdClose", placement);
  if (!tap("the close button", stage_.findById("close"))) return "there is no close button";
  stage_.pause(0.5);
  if (delegate_.count("onAdClose", placement) != closes + 1)
    return "the close button did not close the ad";
  visit.steps.push_back("closed");
  return {};
}

Visit ScriptedUser::tryUnavailable(const std::string& placement, std::string result, Visit visit) {
  const int failures = delegate_.count("onAdFailedToShow", placement);
  const int shown = delegate_.count("onAdShown", placement);
  Console::say("showing " + placement);
  zelvora::ZelController::sharedInstance().showAd(stage_.backend().rootViewController(), placement);
  stage_.pause(0.5);
  if (delegate_.count("onAdShown", placement) != shown) {
    visit.result = "failed: it came on screen although it was " + result;
    stage_.backend().rootViewController()->dismiss(false);
    stage_.pause(0.5);
    return visit;
  }
  visit.steps.push_back(delegate_.count("onAdFailedToShow", placement) > failures
                            ? "show: failed to show"
                            : "show: nothing happened");
  visit.result = std::move(result);
  return visit;
}

}  // namespace demo
