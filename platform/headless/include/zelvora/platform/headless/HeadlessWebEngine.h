#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::headless {

/// The headless stand-in for a web engine. It renders nothing; it knows every web view that
/// loaded something (on screen or not) and, when `autoLoad` is on, plays each load to its end
/// (start, commit, finish) in a later main-queue task, as a page without network would.
/// Otherwise pages stay loading until a test driver plays them.
class ZELVORA_API HeadlessWebEngine : public WebEngine {
 public:
  void webViewDidRequestLoad(const std::shared_ptr<WebView>& webView) override;
  /// Completes by itself with an empty result, unless the pages do not answer: then the
  /// completion waits for the page's process to end.
  bool evaluateJavaScript(const std::shared_ptr<WebView>& webView, const std::string& script,
                          std::function<void(const JavaScriptResult&)> completion) override;

  /// The live web views, in the order of their first load.
  std::vector<std::shared_ptr<WebView>> webViews();
  /// Ends the web process that runs `webView`'s page: the page alone when it has a process of
  /// its own, else every page without one. Each page hears it in a later main-queue task, and
  /// its unanswered scripts complete with an error.
  void terminateWebProcess(const WebView& webView, WebContentTermination reason);

  bool autoLoad = false;
  /// While false, scripts evaluated in pages never complete, as in a web process that spins.
  bool answersScripts = true;

 private:
  struct Evaluation {
    std::weak_ptr<WebView> view;
    std::function<void(const JavaScriptResult&)> completion;
  };
  std::vector<std::weak_ptr<WebView>> webViews_;
  std::vector<Evaluation> unanswered_;
};

}  // namespace zelvora::platform::headless
