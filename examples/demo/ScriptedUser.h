#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AdCatalog.h"
#include "DelegateLog.h"
#include "Stage.h"

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
/// HTML page's call to action, lets an MRAID creative run, and closes what it opened. A banner
/// and a video with a landing card are shown a second time, and their image must come where
/// it came the first time. The placement's description, when the demo knows it, says what
/// must happen on the way.
class ScriptedUser {
 public:
  ScriptedUser(Stage& stage, DelegateLog& delegate, std::filesystem::path snapshots);

  Visit visit(const std::string& placement, const PlacementDescription* description);

 private:
  /// The failure of a step, or empty when it went as it should.
  using Failure = std::string;

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
  /// Watches the video on screen until it ends or is skipped; `card` tells whether a landing
  /// card came after it.
  Failure watchVideo(const std::string& placement, const PlacementDescription* description,
                     bool again, Visit& visit, bool& card);
  Failure closeLandingCard(const std::string& placement, bool again, Visit& visit);
  /// Notes where the ad's image (`what`: a banner's, a landing card) is on its first showing;
  /// on a later one, fails when it is somewhere else.
  Failure checkPlace(const std::string& placement, const std::string& what, Visit& visit);
  /// The landing card or end card on screen, if any.
  std::shared_ptr<zelvora::platform::View> cardOnScreen() const;
  Failure playHtml(const std::string& placement, Visit& visit);
  Failure playMraid(const std::string& placement, Visit& visit);
  /// Notes the exposure percentages the SDK told an MRAID creative over its showing.
  void noteExposures(const std::shared_ptr<zelvora::platform::WebView>& webView, Visit& visit);
  /// Reads the click-through the ad opened, goes back, then shows the ad again and closes it.
  Failure comeBackFromClickThrough(const std::string& placement, Visit& visit);
  Failure closeWithButton(const std::string& placement, Visit& visit);
  /// Asks for an ad that cannot be shown; the result says why.
  Visit tryUnavailable(const std::string& placement, std::string result, Visit visit);

  Stage& stage_;
  DelegateLog& delegate_;
  std::filesystem::path snapshots_;
  /// Where each placement's image was on its first showing, by placement and image.
  std::map<std::pair<std::string, std::string>, zelvora::platform::Rect> places_;
};

}  // namespace demo
