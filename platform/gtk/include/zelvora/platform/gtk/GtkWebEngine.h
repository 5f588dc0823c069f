#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/gtk/NativeLayer.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::gtk {

/// The GTK backend's web engine: a WebKitWebView for each model web view, placed over it by the
/// native layer, loading what the model asks and reporting navigations, messages and dialogs
/// back to it. Pages are untrusted: they share an ephemeral web context that fails on TLS
/// errors, file URLs reach no other file, and a message handler of the model is reachable from
/// the page's top frame only (see the source). Every page runs in one WebKit web process (each
/// view is built related to a live one), and views are built one per turn of the main loop: a
/// load asked for a view not built yet waits for its turn, a script makes it at once. Main
/// thread only.
class ZELVORA_API GtkWebEngine : public WebEngine {
 public:
  explicit GtkWebEngine(NativeLayer& layer);
  /// Detaches and destroys every page.
  ~GtkWebEngine() override;
  GtkWebEngine(const GtkWebEngine&) = delete;
  GtkWebEngine& operator=(const GtkWebEngine&) = delete;

  void webViewDidRequestLoad(const std::shared_ptr<WebView>& webView) override;
  bool evaluateJavaScript(const std::shared_ptr<WebView>& webView, const std::string& script,
                          std::function<void(const JavaScriptResult&)> completion) override;
  void webViewWillBeDestroyed(const WebView& webView) override;

  /// The WebKit view showing `webView`'s page, or nullptr before it is built (its first load
  /// waits for its turn; its first script builds it).
  WebKitWebView* pageOf(const WebView& webView) const;

  struct Page;

 private:
  Page& pageFor(const std::shared_ptr<WebView>& webView);
  void destroy(Page& page);
  /// Loads `record` (a request or a document the model asked for) into the page.
  void load(Page& page, const WebView& webView, const PageRecord& record);
  /// Builds the page of the first view still waiting, and loads it; one a turn.
  static gboolean onBuildNext(gpointer self);

  NativeLayer& layer_;
  WebKitWebContext* context_;
  std::map<const WebView*, std::unique_ptr<Page>> pages_;
  /// Views asked to load whose page is not built yet, in the order asked.
  struct Waiting {
    std::weak_ptr<WebView> view;
    PageRecord load;
  };
  std::deque<Waiting> waiting_;
  guint builder_ = 0;
};

}  // namespace zelvora::platform::gtk
