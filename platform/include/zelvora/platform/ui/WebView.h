#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/JsonAbi.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

struct ZELVORA_API URLRequest {
  std::string url;
};

/// One navigation of a web view, from its start to its end.
struct ZELVORA_API Navigation {
  std::uint64_t id = 0;
};

struct ZELVORA_API WebError {
  std::string localizedDescription;
};

enum class UserScriptInjectionTime { atDocumentStart, atDocumentEnd };

/// A script the web view runs in every new document, before the page's own scripts
/// (document start) or once the document is parsed (document end).
struct ZELVORA_API UserScript {
  std::string source;
  UserScriptInjectionTime injectionTime = UserScriptInjectionTime::atDocumentStart;
  bool forMainFrameOnly = true;
};

/// What a page posted to a named handler: `window.webkit.messageHandlers.<name>.postMessage`.
struct ZELVORA_API ScriptMessage {
  std::string name;
  /// Whatever the page posted: an object, an array, a string, a number, or null.
  nlohmann::ordered_json body;
};

class UserContentController;

/// Receives the messages a page posts under the name it was registered with.
class ZELVORA_API ScriptMessageHandler {
 public:
  virtual ~ScriptMessageHandler() = default;
  virtual void userContentControllerDidReceive(UserContentController& controller,
                                               const ScriptMessage& message) = 0;
};

/// The user scripts and message handlers of a web view's configuration. Handlers are held
/// strongly, as long as the controller lives: a handler that refers back to its owner must do
/// so weakly.
class ZELVORA_API UserContentController {
 public:
  void addUserScript(UserScript script) { userScripts_.push_back(std::move(script)); }
  void removeAllUserScripts() { userScripts_.clear(); }
  const std::vector<UserScript>& userScripts() const { return userScripts_; }

  /// Registers `handler` under `name`, replacing one already registered there.
  void add(std::shared_ptr<ScriptMessageHandler> handler, const std::string& name);
  std::shared_ptr<ScriptMessageHandler> handler(const std::string& name) const;
  /// The names handlers are registered under, in order.
  std::vector<std::string> handlerNames() const;

 private:
  std::vector<UserScript> userScripts_;
  std::map<std::string, std::shared_ptr<ScriptMessageHandler>> handlers_;
};

struct ZELVORA_API WebPreferences {
  bool javaScriptEnabled = true;
};

struct ZELVORA_API WebViewConfiguration {
  WebPreferences preferences;
  std::shared_ptr<UserContentController> userContentController =
      std::make_shared<UserContentController>();
  bool allowsInlineMediaPlayback = false;
  /// The page runs in a web process of its own instead of the one every other page shares: a
  /// page that stops answering or ends its process then takes no other page with it.
  bool ownProcess = false;
};

/// Why the web process that ran a page ended.
enum class WebContentTermination {
  /// It crashed, or was killed from outside.
  crashed,
  /// It went over the engine's memory limit.
  exceededMemoryLimit,
  /// It stopped answering and the engine ended it.
  unresponsive,
};

/// "crashed", "exceeded its memory limit", "stopped answering".
ZELVORA_API const char* describe(WebContentTermination reason);

/// The scrolling behaviour of a web view's content.
struct ZELVORA_API ScrollSettings {
  std::optional<Color> backgroundColor;
  bool bounces = true;
  bool bouncesZoom = true;
};

/// The outcome of a script evaluation: the script's value, or why it did not run.
struct ZELVORA_API JavaScriptResult {
  nlohmann::ordered_json value;
  std::optional<WebError> error;
};

class WebView;

/// Told of a web view's navigations. Held weakly by the web view.
class ZELVORA_API NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;
  virtual void webViewDidStartProvisionalNavigation(WebView&, Navigation) {}
  virtual void webViewDidReceiveServerRedirectForProvisionalNavigation(WebView&, Navigation) {}
  virtual void webViewDidCommit(WebView&, Navigation) {}
  virtual void webViewDidFinish(WebView&, Navigation) {}
  virtual void webViewDidFailProvisionalNavigation(WebView&, Navigation, const WebError&) {}
  /// The web process that ran the page ended: the page is gone, and nothing it showed is
  /// drawn any more. A new load starts a new process.
  virtual void webViewWebContentProcessDidTerminate(WebView&, WebContentTermination) {}
};

/// Answers a page's script dialogs. Held weakly by the web view; without one, an alert is
/// dismissed and a prompt cancelled at once.
class ZELVORA_API UIDelegate {
 public:
  virtual ~UIDelegate() = default;
  virtual void webViewRunJavaScriptAlertPanel(WebView&, const std::string& message,
                                              std::function<void()> completionHandler) {
    (void)message;
    completionHandler();
  }
  virtual void webViewRunJavaScriptTextInputPanel(
      WebView&, const std::string& prompt, const std::optional<std::string>& defaultText,
      std::function<void(std::optional<std::string>)> completionHandler) {
    (void)prompt;
    (void)defaultText;
    completionHandler(std::nullopt);
  }
};

/// The backend's web engine: renders the pages of every web view and reports what happens in
/// them through the web view's engine-facing operations.
class ZELVORA_API WebEngine {
 public:
  virtual ~WebEngine() = default;
  /// `webView` started loading a request or a document; its journal's last entry says which.
  virtual void webViewDidRequestLoad(const std::shared_ptr<WebView>& webView) = 0;
  /// Runs `script` in the page of `webView` and calls `completion` (when given) on the main
  /// queue with its result. Returns false when the engine runs no scripts: the web view then
  /// completes by itself with an empty result.
  virtual bool evaluateJavaScript(const std::shared_ptr<WebView>& webView,
                                  const std::string& script,
                                  std::function<void(const JavaScriptResult&)> completion) {
    (void)webView;
    (void)script;
    (void)completion;
    return false;
  }
  /// `webView` is being destroyed: the engine lets go of its page.
  virtual void webViewWillBeDestroyed(const WebView& webView) { (void)webView; }
  /// Builds now what the first page would build when it loads (a view, its web process), so
  /// that it costs the host's main thread nothing later.
  virtual void warmUp() {}
};

/// The backend installs its engine at start-up; nullptr uninstalls it.
ZELVORA_API void installWebEngine(std::shared_ptr<WebEngine> engine);
/// Warms the installed engine up (`WebEngine::warmUp`), if there is one.
ZELVORA_API void warmUpWebEngine();

/// One entry of a web view's journal.
struct ZELVORA_API PageRecord {
  enum class Kind {
    /// A request loaded by the application or navigated to by the page: `text` is its URL.
    request,
    /// An HTML string loaded: `text` is the markup, `baseUrl` its base address.
    document,
    /// A user script run in a new document: `text` is its source.
    userScript,
    /// A script evaluated by the application: `text` is its source.
    script,
  };
  Kind kind;
  std::string text;
  std::optional<std::string> baseUrl;
};

/// A web view in the view model. The page lives in the backend's web engine, which reports
/// navigations, dialogs and messages through the `engine...` operations; the web view keeps a
/// journal of everything loaded into the page and run in it, in order.
class ZELVORA_API WebView : public View {
 public:
  explicit WebView(Rect frame, WebViewConfiguration configuration = {})
      : View(frame), configuration_(std::move(configuration)) {}
  ~WebView() override;
  static std::shared_ptr<WebView> make(Rect frame, WebViewConfiguration configuration = {}) {
    return std::make_shared<WebView>(frame, std::move(configuration));
  }

  const WebViewConfiguration& configuration() const { return configuration_; }

  std::weak_ptr<NavigationDelegate> navigationDelegate;
  std::weak_ptr<UIDelegate> uiDelegate;
  /// A transparent web view shows its background colour until the page draws.
  bool isOpaque = true;
  ScrollSettings scrollView;

  /// Starts loading `request`; the navigation events follow from the engine.
  void load(const URLRequest& request);
  /// Loads `html` as a document whose address is `baseUrl`, or "about:blank" without one.
  void loadHTMLString(const std::string& html, const std::optional<std::string>& baseUrl);
  /// Runs `script` in the page after everything evaluated before it; `completion`, when given,
  /// runs in a later main-queue task with the script's result.
  void evaluateJavaScript(const std::string& script,
                          std::function<void(const JavaScriptResult&)> completion = {});

  /// The address of the current page, or of the provisional navigation's latest redirect.
  std::optional<std::string> url() const { return url_; }
  const std::vector<PageRecord>& journal() const { return journal_; }
  /// The requests of the journal, in order.
  std::vector<URLRequest> loadedRequests() const;
  /// The navigation of the latest load.
  Navigation currentNavigation() const { return navigation_; }

  // Engine-facing: each updates the state and tells the delegates.

  void engineDidStartProvisionalNavigation();
  /// The page itself navigates to `url` (a link, a script): a new navigation starts.
  void engineDidStartNavigation(const std::string& url);
  void engineDidReceiveServerRedirect(const std::string& url);
  /// The new document begins: its document-start user scripts run.
  void engineDidCommit();
  /// The document is loaded: its document-end user scripts run, then the delegate is told.
  void engineDidFinish();
  void engineDidFailProvisionalNavigation(const WebError& error);
  /// The page's web process ended for `reason`.
  void engineWebContentProcessDidTerminate(WebContentTermination reason);
  /// The page posts `body` to the handler `name`; returns whether a handler received it (none
  /// does while JavaScript is off, nor a body nested deeper than 512 levels: one console line).
  bool enginePostMessage(const std::string& name, const nlohmann::ordered_json& body);
  /// The page calls alert(); returns whether the dialog was answered before this returned.
  bool engineRunAlert(const std::string& message);
  /// The page calls prompt(); returns the answer given before this returned (an empty
  /// optional inside for a cancelled prompt), or nothing when it was not answered yet.
  std::optional<std::optional<std::string>> engineRunPrompt(
      const std::string& prompt, const std::optional<std::string>& defaultText);

  std::string typeName() const override { return "WebView"; }
  std::string describeContent() const override { return url_.value_or(""); }

 private:
  /// A new navigation to `url`; tells the engine when the application asked for it.
  void beginNavigation(std::optional<std::string> url, bool tellEngine);
  void runUserScripts(UserScriptInjectionTime time);

  WebViewConfiguration configuration_;
  std::optional<std::string> url_;
  std::vector<PageRecord> journal_;
  Navigation navigation_;
  std::uint64_t nextNavigation_ = 1;
};

}  // namespace zelvora::platform
