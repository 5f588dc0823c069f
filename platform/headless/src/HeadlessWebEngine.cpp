#include "zelvora/platform/headless/HeadlessWebEngine.h"

#include <algorithm>

#include "zelvora/platform/MainQueue.h"

namespace zelvora::platform::headless {

void HeadlessWebEngine::webViewDidRequestLoad(const std::shared_ptr<WebView>& webView) {
  std::erase_if(webViews_, [](const auto& weak) { return weak.expired(); });
  const bool known = std::any_of(webViews_.begin(), webViews_.end(),
                                 [&](const auto& weak) { return weak.lock() == webView; });
  if (!known) webViews_.push_back(webView);
  if (!autoLoad) return;
  postToMainQueue([weak = std::weak_ptr<WebView>(webView), id = webView->currentNavigation().id] {
    // A later load replaces this one; a web view released meanwhile loads nothing.
    for (auto step : {&WebView::engineDidStartProvisionalNavigation, &WebView::engineDidCommit,
                      &WebView::engineDidFinish}) {
      auto view = weak.lock();
      if (!view || view->currentNavigation().id != id) return;
      ((*view).*step)();
    }
  });
}

std::vector<std::shared_ptr<WebView>> HeadlessWebEngine::webViews() {
  std::vector<std::shared_ptr<WebView>> live;
  for (const auto& weak : webViews_) {
    if (auto view = weak.lock()) live.push_back(std::move(view));
  }
  return live;
}

}  // namespace zelvora::platform::headless
