#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform {

void WebView::load(const URLRequest& request) {
  requests_.push_back(request);
  navigation_ = Navigation{nextNavigation_++};
  url_ = request.url;
}

// A delegate may release this web view while it is told of an event: each notice keeps it
// alive until it returns.

void WebView::engineDidStartProvisionalNavigation() {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidStartProvisionalNavigation(*this, navigation_);
}

void WebView::engineDidReceiveServerRedirect(const std::string& url) {
  auto self = shared_from_this();
  url_ = url;
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidReceiveServerRedirectForProvisionalNavigation(*this, navigation_);
}

void WebView::engineDidCommit() {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock()) delegate->webViewDidCommit(*this, navigation_);
}

void WebView::engineDidFinish() {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock()) delegate->webViewDidFinish(*this, navigation_);
}

void WebView::engineDidFailProvisionalNavigation(const WebError& error) {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidFailProvisionalNavigation(*this, navigation_, error);
}

}  // namespace zelvora::platform
