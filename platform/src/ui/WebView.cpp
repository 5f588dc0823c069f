#include "zelvora/platform/ui/WebView.h"

#include "../JsonNesting.h"
#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora::platform {

void UserContentController::add(std::shared_ptr<ScriptMessageHandler> handler,
                                const std::string& name) {
  handlers_[name] = std::move(handler);
}

std::shared_ptr<ScriptMessageHandler> UserContentController::handler(
    const std::string& name) const {
  const auto found = handlers_.find(name);
  return found == handlers_.end() ? nullptr : found->second;
}

std::vector<std::string> UserContentController::handlerNames() const {
  std::vector<std::string> names;
  for (const auto& entry : handlers_) names.push_back(entry.first);
  return names;
}

namespace {
std::shared_ptr<WebEngine>& installedEngine() {
  // Never destroyed: web views held by static objects still ask for it at exit.
  static auto* engine = new std::shared_ptr<WebEngine>();
  return *engine;
}
}  // namespace

void warmUpWebEngine() {
  if (auto engine = installedEngine()) engine->warmUp();
}

void installWebEngine(std::shared_ptr<WebEngine> engine) {
  installedEngine() = std::move(engine);
}

WebView::~WebView() {
  if (auto engine = installedEngine()) engine->webViewWillBeDestroyed(*this);
}

void WebView::beginNavigation(std::optional<std::string> url, bool tellEngine) {
  navigation_ = Navigation{nextNavigation_++};
  url_ = std::move(url);
  if (!tellEngine) return;
  if (auto engine = installedEngine())
    engine->webViewDidRequestLoad(std::static_pointer_cast<WebView>(shared_from_this()));
}

void WebView::load(const URLRequest& request) {
  journal_.push_back({PageRecord::Kind::request, request.url, std::nullopt});
  beginNavigation(request.url, true);
}

void WebView::loadHTMLString(const std::string& html, const std::optional<std::string>& baseUrl) {
  journal_.push_back({PageRecord::Kind::document, html, baseUrl});
  beginNavigation(baseUrl.value_or("about:blank"), true);
}

void WebView::evaluateJavaScript(const std::string& script,
                                 std::function<void(const JavaScriptResult&)> completion) {
  journal_.push_back({PageRecord::Kind::script, script, std::nullopt});
  if (auto engine = installedEngine();
      engine && engine->evaluateJavaScript(std::static_pointer_cast<WebView>(shared_from_this()),
                                           script, completion))
    return;
  if (!completion) return;
  postToMainQueue([completion = std::move(completion)] { completion(JavaScriptResult{}); });
}

std::vector<URLRequest> WebView::loadedRequests() const {
  std::vector<URLRequest> requests;
  for (const auto& record : journal_) {
    if (record.kind == PageRecord::Kind::request) requests.push_back({record.text});
  }
  return requests;
}

void WebView::runUserScripts(UserScriptInjectionTime time) {
  if (!configuration_.preferences.javaScriptEnabled) return;
  // The engine runs a copy: a script's side effects may change the controller's list.
  const auto scripts = configuration_.userContentController->userScripts();
  for (const auto& script : scripts) {
    if (script.injectionTime == time)
      journal_.push_back({PageRecord::Kind::userScript, script.source, std::nullopt});
  }
}

// A delegate may release this web view while it is told of an event: each notice keeps it
// alive until it returns.

void WebView::engineDidStartProvisionalNavigation() {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidStartProvisionalNavigation(*this, navigation_);
}

void WebView::engineDidStartNavigation(const std::string& url) {
  journal_.push_back({PageRecord::Kind::request, url, std::nullopt});
  beginNavigation(url, false);
  engineDidStartProvisionalNavigation();
}

void WebView::engineDidReceiveServerRedirect(const std::string& url) {
  auto self = shared_from_this();
  url_ = url;
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidReceiveServerRedirectForProvisionalNavigation(*this, navigation_);
}

void WebView::engineDidCommit() {
  auto self = shared_from_this();
  runUserScripts(UserScriptInjectionTime::atDocumentStart);
  if (auto delegate = navigationDelegate.lock()) delegate->webViewDidCommit(*this, navigation_);
}

void WebView::engineDidFinish() {
  auto self = shared_from_this();
  runUserScripts(UserScriptInjectionTime::atDocumentEnd);
  if (auto delegate = navigationDelegate.lock()) delegate->webViewDidFinish(*this, navigation_);
}

void WebView::engineDidFailProvisionalNavigation(const WebError& error) {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewDidFailProvisionalNavigation(*this, navigation_, error);
}

void WebView::engineWebContentProcessDidTerminate(WebContentTermination reason) {
  auto self = shared_from_this();
  if (auto delegate = navigationDelegate.lock())
    delegate->webViewWebContentProcessDidTerminate(*this, reason);
}

const char* describe(WebContentTermination reason) {
  switch (reason) {
    case WebContentTermination::exceededMemoryLimit:
      return "exceeded its memory limit";
    case WebContentTermination::unresponsive:
      return "stopped answering";
    case WebContentTermination::crashed:
      break;
  }
  return "crashed";
}

bool WebView::enginePostMessage(const std::string& name, const nlohmann::ordered_json& body) {
  if (!configuration_.preferences.javaScriptEnabled) return false;
  auto self = shared_from_this();
  // The handler may replace this web view's configuration: keep its controller alive.
  auto controller = configuration_.userContentController;
  auto handler = controller->handler(name);
  if (!handler) return false;
  // A page can nest a value a million levels deep; handing it on copies it.
  if (!nestingWithin(body)) {
    log(LogLevel::warning, "message to " + name + " refused: nested deeper than " +
                               std::to_string(kMaxJsonDepth) + " levels");
    return false;
  }
  handler->userContentControllerDidReceive(*controller, ScriptMessage{name, body});
  return true;
}

bool WebView::engineRunAlert(const std::string& message) {
  auto self = shared_from_this();
  // A delegate may keep the completion and answer later: the answer outlives this call.
  auto answered = std::make_shared<bool>(false);
  auto done = [answered] { *answered = true; };
  if (auto delegate = uiDelegate.lock())
    delegate->webViewRunJavaScriptAlertPanel(*this, message, done);
  else
    done();
  return *answered;
}

std::optional<std::optional<std::string>> WebView::engineRunPrompt(
    const std::string& prompt, const std::optional<std::string>& defaultText) {
  auto self = shared_from_this();
  auto answer = std::make_shared<std::optional<std::optional<std::string>>>();
  auto done = [answer](std::optional<std::string> text) { *answer = std::move(text); };
  if (auto delegate = uiDelegate.lock())
    delegate->webViewRunJavaScriptTextInputPanel(*this, prompt, defaultText, done);
  else
    done(std::nullopt);
  return *answer;
}

}  // namespace zelvora::platform
