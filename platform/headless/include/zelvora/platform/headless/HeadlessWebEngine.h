#pragma once

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

  /// The live web views, in the order of their first load.
  std::vector<std::shared_ptr<WebView>> webViews();

  bool autoLoad = false;

 private:
  std::vector<std::weak_ptr<WebView>> webViews_;
};

}  // namespace zelvora::platform::headless
