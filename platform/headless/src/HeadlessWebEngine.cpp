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

bool HeadlessWebEngine::evaluateJavaScript(
    const std::shared_ptr<WebView>& webView, const std::string&,
    std::function<void(const JavaScriptResult&)> completion) {
  if (answersScripts) return false;
  unanswered_.push_back({webView, std::move(completion)});
  return true;
}

void HeadlessWebEngine::terminateWebProcess(const WebView& webView, WebContentTermination reason) {
  const bool alone = webView.configuration().ownProcess;
  std::vector<std::weak_ptr<WebView>> ended;
  for (const auto& view : webViews()) {
    if (view.get() == &webView || (!alone && !view->configuration().ownProcess))
      ended.push_back(view);
  }
  const auto endedOne = [&](const std::shared_ptr<WebView>& view) {
    return std::any_of(ended.begin(), ended.end(),
                       [&](const auto& weak) { return weak.lock() == view; });
  };
  std::vector<Evaluation> failed;
  std::erase_if(unanswered_, [&](Evaluation& evaluation) {
    const auto view = evaluation.view.lock();
    if (view && !endedOne(view)) return false;
    failed.push_back(std::move(evaluation));
    return true;
  });
  postToMainQueue([ended = std::move(ended), failed = std::move(failed), reason] {
    for (const auto& evaluation : failed) {
      if (evaluation.completion)
        evaluation.completion({nullptr, WebError{"the web process ended"}});
    }
    for (const auto& weak : ended) {
      if (auto view = weak.lock()) view->engineWebContentProcessDidTerminate(reason);
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
