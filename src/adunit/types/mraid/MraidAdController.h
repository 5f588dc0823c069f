#pragma once

#include <memory>

#include "adunit/types/mraid/MraidAd.h"
#include "zelvora/Json.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora {

/// The script message handler "mraidHostBridge": carries an MRAID creative's calls
/// ({"name", "params"}) to its ad. It holds the ad weakly: the ad owns the web view whose
/// content controller owns this handler, and a message that arrives after the ad is gone is
/// dropped.
class MraidAdController : public platform::ScriptMessageHandler {
 public:
  explicit MraidAdController(std::weak_ptr<MraidAd> mraiAd) : mraiAd(std::move(mraiAd)) {}

  void userContentControllerDidReceive(platform::UserContentController& controller,
                                       const platform::ScriptMessage& message) override;

  const std::weak_ptr<MraidAd> mraiAd;
  /// The initial data reaches the page as a user script, never through the bridge.
  bool isInitialDataPassed = false;

 private:
  void close(MraidAd& ad);
  void fallback(MraidAd& ad);
  /// {"allowOrientationChange": boolean, "forceOrientation": "portrait" | "landscape" | "none"}.
  void setOrientationProperties(MraidAd& ad, const JSON& properties);
};

}  // namespace zelvora
