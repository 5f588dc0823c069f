#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/ui/WebView.h"

namespace demo {

/// The pages' side of the web views. The headless engine runs no JavaScript, so the demo
/// plays what an engine and the creatives' scripts would do, recognising each creative's
/// behaviour from its markup:
/// - every load the SDK starts runs to its end (start, commit, finish) soon after;
/// - a creative calling `mraid.fallback()` posts "fallback" to the bridge as it loads,
///   between commit and finish, as an inline script does while the document is parsed;
/// - a creative calling `mraid.setOrientationProperties` with a `forceOrientation` literal
///   asks for it (and no orientation change) as it loads;
/// - a creative calling `mraid.close()` is taken to count down `selfCloseSeconds` from the
///   "ready" event the SDK sends it when shown, then posts "close";
/// - a tap on the page runs its call to action: `mraid.open('URL')` posts "open" with the
///   URL (once the creative is ready, as it wires its handlers then), a script assigning
///   `location.href = 'URL'` navigates there, and so does a link `href='URL'`.
/// Scripts run only in web views with JavaScript on; links work either way.
class ScriptedPage {
 public:
  /// The sample creatives' countdown before they close themselves.
  static constexpr double selfCloseSeconds = 5;

  ScriptedPage(zelvora::platform::headless::HeadlessPlatform& platform,
               zelvora::platform::headless::TestDriver& driver)
      : platform_(platform), driver_(driver) {}

  /// Whether some web view has a load that was not played yet.
  bool hasWork() const;
  /// Plays every pending load, and posts the self-closing creatives' "close" when due.
  void play();
  /// The user taps the page; returns what the page did, or nothing when it did nothing.
  std::optional<std::string> tap(const std::shared_ptr<zelvora::platform::WebView>& webView);

  /// Whether the web view holds an MRAID creative: the SDK gave it the bridge.
  static bool isMraid(const zelvora::platform::WebView& webView);
  /// The orientation the creative holds the screen in ("landscape", "portrait"), if any.
  static std::optional<std::string> forcedOrientation(const zelvora::platform::WebView& webView);
  /// The percentages of every "exposureChange" the SDK sent the web view, in order.
  static std::vector<std::string> exposuresTold(const zelvora::platform::WebView& webView);
  /// Whether the creative in the web view closes itself once shown.
  static bool closesItself(const zelvora::platform::WebView& webView);
  /// The scripts the SDK ran in the current document, one line each.
  static std::vector<std::string> scriptsRun(const zelvora::platform::WebView& webView);

 private:
  struct PageState {
    /// The latest navigation played, or left provisional for the user's click.
    std::uint64_t navigation = 0;
    /// When the document was told "ready" on the demo's clock.
    std::optional<double> readyAt;
    bool closed = false;
  };

  bool pending(const std::shared_ptr<zelvora::platform::WebView>& webView) const;
  void load(const std::shared_ptr<zelvora::platform::WebView>& webView);
  void runTimers(const std::shared_ptr<zelvora::platform::WebView>& webView);
  void navigate(const std::shared_ptr<zelvora::platform::WebView>& webView, const std::string& url);

  zelvora::platform::headless::HeadlessPlatform& platform_;
  zelvora::platform::headless::TestDriver& driver_;
  std::map<std::weak_ptr<zelvora::platform::WebView>, PageState, std::owner_less<>> pages_;
};

}  // namespace demo
