#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/gtk/NativeLayer.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::gtk {

/// The GTK backend's web engine: a WebKitWebView for each model web view, placed over it by the
/// native layer, loading what the model asks and reporting navigations, messages and dialogs
/// back to it. Pages are untrusted: they share an ephemeral web context that fails on TLS
/// errors, file URLs reach no other file, and a message handler of the model is reachable from
/// the page's top frame only (see the source); the web processes run in WebKit's sandbox as the
/// host environment's `webContent.sandbox` asks (WebContext.h). Every page runs in one WebKit
/// web process (each
/// view is built related to a live one) unless its configuration asks for a process of its own,
/// and views are built one per turn of the main loop: a load asked for a view not built yet
/// waits for its turn, a script makes it at once.
///
/// A watchdog keeps the processes honest: each one is asked a trivial question every second,
/// and one that leaves it unanswered for the host environment's `unresponsiveSeconds` (or that
/// WebKit finds unresponsive) is ended; WebKit ends one over the memory limit itself. Every
/// page of an ended process hears why, and its next load starts a new process. Main thread
/// only.
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
  /// Builds a spare WebKit view and starts its web process with a blank page: the first page
  /// takes it over. Nothing when a page already exists.
  void warmUp() override;

  /// The WebKit view showing `webView`'s page, or nullptr before it is built (its first load
  /// waits for its turn; its first script builds it).
  WebKitWebView* pageOf(const WebView& webView) const;

  struct Page;

 private:
  Page& pageFor(const std::shared_ptr<WebView>& webView);
  /// A new WebKit view with the pages' settings and `content`, sharing the web process of a live
  /// page unless `ownProcess`.
  WebKitWebView* newView(WebKitUserContentManager* content, bool ownProcess) const;
  /// Lets go of `page`: its view becomes the spare when there is none and it can serve another
  /// page, else it is destroyed.
  void destroy(Page& page);
  /// Makes `view` (with `content`) the spare: detached from any page, blank.
  void keepSpare(WebKitWebView* view, WebKitUserContentManager* content, bool bridge);
  /// Loads `record` (a request or a document the model asked for) into the page.
  void load(Page& page, const WebView& webView, const PageRecord& record);
  /// Builds the page of the first view still waiting, and loads it; one a turn.
  static gboolean onBuildNext(gpointer self);
  /// Asks every live web process its question, and ends those that left the last unanswered
  /// too long.
  static gboolean onWatch(gpointer self);
  /// Ends the web process of `page` (and so of every page sharing it) as unresponsive.
  void endUnresponsive(Page& page);

  NativeLayer& layer_;
  /// Why no page may load (a sandbox required that cannot start), if so. Set by the context's
  /// making: declared before it.
  std::optional<std::string> refused_;
  WebKitWebContext* context_;
  std::map<const WebView*, std::unique_ptr<Page>> pages_;
  /// Views asked to load whose page is not built yet, in the order asked.
  struct Waiting {
    std::weak_ptr<WebView> view;
    PageRecord load;
  };
  std::deque<Waiting> waiting_;
  guint builder_ = 0;
  guint watchdog_ = 0;
  /// A view no page uses, blank, in the shared web process, until a page takes it over: the one
  /// `warmUp` built, or the last page let go. GTK and GLib keep some memory for every WebKit
  /// view ever made, so views are reused rather than made for each page.
  WebKitWebView* spare_ = nullptr;
  WebKitUserContentManager* spareContent_ = nullptr;
  /// The bridge's message handler is registered in the spare's user content.
  bool spareBridge_ = false;
  /// The engine is going: pages it lets go are not kept.
  bool closing_ = false;
  double unresponsiveSeconds_;
};

}  // namespace zelvora::platform::gtk
