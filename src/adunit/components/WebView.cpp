#include "adunit/components/WebView.h"

#include <vector>

#include "net/Url.h"
#include "tools/Assets.h"
#include "zelvora/Log.h"

namespace zelvora {

class WebViewDelegate : public platform::NavigationDelegate, public platform::UIDelegate {
 public:
  void webViewDidStartProvisionalNavigation(platform::WebView& webView,
                                            platform::Navigation) override {
    if (auto started = pageDelegate.lock()) started->onWebViewStartedToLoad(webView.url());
  }

  void webViewWebContentProcessDidTerminate(platform::WebView& webView,
                                            platform::WebContentTermination reason) override {
    if (auto page = pageDelegate.lock()) page->onWebViewContentGone(webView, reason);
  }

  void webViewDidFinish(platform::WebView& webView, platform::Navigation) override {
    webView.configuration().userContentController->removeAllUserScripts();
    // A delegate may load another page, or register again, while it is told.
    auto finished = std::move(pageFinishedDelegates);
    pageFinishedDelegates.clear();
    for (const auto& weak : finished) {
      if (auto delegate = weak.lock()) delegate->onWebViewFinishedToLoad();
    }
  }

  void webViewRunJavaScriptAlertPanel(platform::WebView&, const std::string& message,
                                      std::function<void()> completionHandler) override {
    log(LogLevel::info, "js - " + message);
    completionHandler();
  }

  void webViewRunJavaScriptTextInputPanel(
      platform::WebView&, const std::string&, const std::optional<std::string>&,
      std::function<void(std::optional<std::string>)> completionHandler) override {
    completionHandler(std::nullopt);
  }

  std::weak_ptr<WebViewPageDelegate> pageDelegate;
  std::vector<std::weak_ptr<WebViewPageFinishedDelegate>> pageFinishedDelegates;
};

WebView::WebView(platform::WebViewConfiguration configuration, std::weak_ptr<MraidAd> mraid)
    : platform::WebView({}, std::move(configuration)),
      delegate(std::make_shared<WebViewDelegate>()),
      mraidAd(mraid),
      hasMraidAd(!mraid.expired()) {
  navigationDelegate = delegate;
  uiDelegate = delegate;
}

std::shared_ptr<WebView> WebView::make(platform::WebViewConfiguration configuration,
                                       std::weak_ptr<MraidAd> mraid) {
  return std::make_shared<WebView>(std::move(configuration), std::move(mraid));
}

void WebView::loadMarkup(const std::string& markup) {
  if (!hasMraidAd) {
    loadHTMLString(markup, std::nullopt);
    return;
  }
  if (auto ad = mraidAd.lock()) ad->setFallbackTriggered(false);
  std::optional<std::string> baseUrl;
  if (Asset::mraidJSPath) baseUrl = fileUrlFromPath(*Asset::mraidJSPath);
  loadHTMLString(markup, baseUrl);
}

void WebView::setPageDelegate(std::weak_ptr<WebViewPageDelegate> started) {
  delegate->pageDelegate = std::move(started);
}

void WebView::addPageFinishedDelegate(std::weak_ptr<WebViewPageFinishedDelegate> finished) {
  delegate->pageFinishedDelegates.push_back(std::move(finished));
}

}  // namespace zelvora
