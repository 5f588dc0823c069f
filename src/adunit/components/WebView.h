#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adunit/types/mraid/MraidAd.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora {

/// Told when the web view starts a navigation, with the address it goes to.
class WebViewPageStartedDelegate {
 public:
  virtual ~WebViewPageStartedDelegate() = default;
  virtual void onWebViewStartedToLoad(const std::optional<std::string>& url) = 0;
};

/// Told once when the web view's next page has finished loading.
class WebViewPageFinishedDelegate {
 public:
  virtual ~WebViewPageFinishedDelegate() = default;
  virtual void onWebViewFinishedToLoad() = 0;
};

class WebViewDelegate;

/// The web view of an HTML ad. Its own delegate answers the page's dialogs at once (an alert
/// becomes a "js - " console line, a prompt is cancelled) and reports navigations: every start
/// to the page-started delegate, the end of the next page to the page-finished delegates,
/// which are then forgotten together with the configuration's user scripts, so that both
/// serve the ad's own page only.
class WebView : public platform::WebView {
 public:
  WebView(platform::WebViewConfiguration configuration, std::weak_ptr<MraidAd> mraid);
  /// `mraid` is the MRAID ad this web view shows, none for a plain HTML ad.
  static std::shared_ptr<WebView> make(platform::WebViewConfiguration configuration,
                                       std::weak_ptr<MraidAd> mraid = {});

  /// Loads the creative's markup. For an MRAID ad, clears its fallback mark first and gives
  /// the page the local "mraid.js" file as its base address, when there is one.
  void loadMarkup(const std::string& markup);

  /// Both held weakly.
  void setPageStartedDelegate(std::weak_ptr<WebViewPageStartedDelegate> delegate);
  void addPageFinishedDelegate(std::weak_ptr<WebViewPageFinishedDelegate> delegate);

  const std::shared_ptr<WebViewDelegate> delegate;
  const std::weak_ptr<MraidAd> mraidAd;
  const bool hasMraidAd;
};

}  // namespace zelvora
