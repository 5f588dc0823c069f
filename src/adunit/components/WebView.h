#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adunit/types/mraid/MraidAd.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora {

/// Told of the web view's page: each navigation it starts, with the address it goes to, and
/// the end of the web process that ran it.
class WebViewPageDelegate {
 public:
  virtual ~WebViewPageDelegate() = default;
  virtual void onWebViewStartedToLoad(const std::optional<std::string>& url) = 0;
  /// The page of `webView` is gone with its web process; the web view shows nothing until it
  /// loads again.
  virtual void onWebViewContentGone(const platform::WebView& webView,
                                    platform::WebContentTermination reason) = 0;
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
/// (and the end of the page's web process) to the page delegate, the end of the next page to the
/// page-finished delegates, which are then forgotten together with the configuration's user
/// scripts, so that both serve the ad's own page only.
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
  void setPageDelegate(std::weak_ptr<WebViewPageDelegate> delegate);
  void addPageFinishedDelegate(std::weak_ptr<WebViewPageFinishedDelegate> delegate);

  const std::shared_ptr<WebViewDelegate> delegate;
  const std::weak_ptr<MraidAd> mraidAd;
  const bool hasMraidAd;
};

}  // namespace zelvora
