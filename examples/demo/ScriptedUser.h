#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AdCatalog.h"
#include "DelegateLog.h"
#include "ScriptedPage.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"

namespace demo {

/// What came of the user's visit to one placement.
struct Visit {
  /// "ok", "no fill", "never ready", "disabled", or "failed: <why>".
  std::string result;
  /// What the user did and saw, in order.
  std::vector<std::string> steps;
  /// The addresses the ad handed to the system.
  std::vector<std::string> openedUrls;
  /// The format seen on screen, when the ad came on screen.
  std::string format;
};

/// The scripted user of the demo. It shows each placement's ad and deals with it as its
/// format invites, telling the format from the screen: it follows a banner's click-through
/// and comes back, watches a video (skipping it when it may within a few seconds), taps an
/// HTML page's call to action, lets an MRAID creative run, and closes what it opened. The
/// placement's description, when the demo knows it, says what must happen on the way.
class ScriptedUser {
 public:
  ScriptedUser(zelvora::platform::headless::HeadlessPlatform& platform, DelegateLog& delegate,
               std::filesystem::path snapshots);

  Visit visit(const std::string& placement, const PlacementDescription* description);

 private:
  /// The failure of a step, or empty when it went as it should.
  using Failure = std::string;

  /// Waits up to `seconds` of real time (network answers) for `done`, playing the pages.
  bool waitFor(const std::function<bool()>& done, double seconds);
  /// Lets `seconds` pass on the demo's clock: transitions, timers, video time and the
  /// creatives' countdowns. Pages load within a step.
  void pause(double seconds);
  /// Lets the clock run until `done`, for at most `seconds`.
  bool pauseUntil(const std::function<bool()>& done, double seconds);
  void snapshot(const std::string& placement, const std::string& name);
  bool tap(const std::string& what, const std::shared_ptr<zelvora::platform::View>& view);
  void holdUpright();
  /// Asks the SDK to show `placement`; whether it came on screen.
  bool show(const std::string& placement);
  /// The format of the ad on screen: "banner", "video", "html", "mraid" or "".
  std::string formatOnScreen() const;

  Failure playBanner(const std::string& placement, const PlacementDescription* description,
                     Visit& visit);
  Failure playVideo(const std::string& placement, const PlacementDescription* description,
                    Visit& visit);
  Failure playHtml(const std::string& placement, Visit& visit);
  Failure playMraid(const std::string& placement, Visit& visit);
  /// Reads the click-through the ad opened, goes back, then shows the ad again and closes it.
  Failure comeBackFromClickThrough(const std::string& placement, Visit& visit);
  Failure closeWithButton(const std::string& placement, Visit& visit);
  /// Asks for an ad that cannot be shown; the result says why.
  Visit tryUnavailable(const std::string& placement, std::string result, Visit visit);

  zelvora::platform::headless::HeadlessPlatform& platform_;
  zelvora::platform::headless::TestDriver driver_;
  ScriptedPage page_;
  DelegateLog& delegate_;
  std::filesystem::path snapshots_;
};

}  // namespace demo
