#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

struct URLRequest {
  std::string url;
};

/// One navigation of a web view, from its start to its end.
struct Navigation {
  std::uint64_t id = 0;
};

struct WebError {
  std::string localizedDescription;
};

class WebView;

/// Told of a web view's navigations. Held weakly by the web view.
class NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;
  virtual void webViewDidStartProvisionalNavigation(WebView&, Navigation) {}
  virtual void webViewDidReceiveServerRedirectForProvisionalNavigation(WebView&, Navigation) {}
  virtual void webViewDidCommit(WebView&, Navigation) {}
  virtual void webViewDidFinish(WebView&, Navigation) {}
  virtual void webViewDidFailProvisionalNavigation(WebView&, Navigation, const WebError&) {}
};

/// A web view in the view model. The page itself lives in the backend's web engine, which
/// reports the navigation events through the `engineDid...` operations; the headless backend
/// records every load and lets a test driver play the events.
class WebView : public View {
 public:
  using View::View;
  static std::shared_ptr<WebView> make(Rect frame) { return std::make_shared<WebView>(frame); }

  std::weak_ptr<NavigationDelegate> navigationDelegate;

  /// Starts loading `request`; the navigation events follow from the engine.
  void load(const URLRequest& request);
  /// The address of the current page, or of the provisional navigation's latest redirect.
  std::optional<std::string> url() const { return url_; }
  /// Every request loaded, in order.
  const std::vector<URLRequest>& loadedRequests() const { return requests_; }
  /// The navigation of the latest load.
  Navigation currentNavigation() const { return navigation_; }

  // Engine-facing: each updates the state and tells the navigation delegate.
  void engineDidStartProvisionalNavigation();
  void engineDidReceiveServerRedirect(const std::string& url);
  void engineDidCommit();
  void engineDidFinish();
  void engineDidFailProvisionalNavigation(const WebError& error);

  std::string typeName() const override { return "WebView"; }
  std::string describeContent() const override { return url_.value_or(""); }

 private:
  std::optional<std::string> url_;
  std::vector<URLRequest> requests_;
  Navigation navigation_;
  std::uint64_t nextNavigation_ = 1;
};

}  // namespace zelvora::platform
