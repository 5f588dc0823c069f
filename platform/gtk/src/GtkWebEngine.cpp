#include "zelvora/platform/gtk/GtkWebEngine.h"

#include <algorithm>
#include <utility>

#include "WebContext.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora::platform::gtk {
namespace {

// WebKit exposes `window.webkit.messageHandlers` to every frame of a page, a cross-origin
// iframe's included, so the model's handlers are never registered where the page runs. One
// handler lives in an isolated world, where a top-frame-only script forwards what the page
// world dispatches on its own document; the page world's `window.webkit.messageHandlers` is
// defined by a top-frame-only script as well. A frame of another origin can reach neither that
// document nor those functions.
constexpr const char* kBridgeWorld = "zelvora-bridge";
constexpr const char* kBridgeHandler = "zelvoraBridge";

constexpr const char* kForwarder = R"JS((function () {
  var handler = window.webkit.messageHandlers.zelvoraBridge;
  document.addEventListener("zelvora-script-message", function (event) {
    if (typeof event.detail === "string") handler.postMessage(event.detail);
  }, true);
})();)JS";

/// The page world's handlers: each posts {name, body} as JSON text (a string crosses worlds
/// as it is, an object would not).
std::string pageHandlersScript(const std::vector<std::string>& names) {
  return "(function () {\n  var names = " + nlohmann::json(names).dump() + R"JS(;
  var handlers = {};
  names.forEach(function (name) {
    handlers[name] = {
      postMessage: function (body) {
        var text = JSON.stringify({name: name, body: body === undefined ? null : body});
        document.dispatchEvent(new CustomEvent("zelvora-script-message", {detail: text}));
      }
    };
  });
  try {
    Object.defineProperty(window, "webkit", {value: {messageHandlers: handlers}});
  } catch (e) {
    window.webkit = {messageHandlers: handlers};
  }
})();)JS";
}

bool isFileUri(const char* uri) {
  return uri && g_str_has_prefix(uri, "file:");
}

/// Runs `step` on the model web view in a main-queue task: the model's delegates may release
/// the web view, and with it this page, which WebKit must not see while it emits a signal.
void report(const std::weak_ptr<WebView>& model, std::function<void(WebView&)> step) {
  postToMainQueue([model, step = std::move(step)] {
    if (auto view = model.lock()) step(*view);
  });
}

}  // namespace

struct GtkWebEngine::Page {
  GtkWebEngine* engine = nullptr;
  std::weak_ptr<WebView> model;
  WebKitWebView* view = nullptr;
  WebKitUserContentManager* content = nullptr;
  bool bridgeRegistered = false;
  /// Loads asked by the model whose start WebKit has not reported yet: any other start is the
  /// page navigating by itself.
  int expectedLoads = 0;
  bool committed = false;
  /// The address of the latest navigation let through: WebKit reports the view's URI of a
  /// navigation the page starts only after it began.
  std::string decidedUri;
  /// Runs in a web process of its own.
  bool ownProcess = false;
  /// Its web process ended; the next load starts another.
  bool ended = false;
  /// The watchdog's question to the page's process: when it was asked (monotonic
  /// microseconds), or -1 once its answer came.
  std::shared_ptr<gint64> question;

  static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data);
  static gboolean onLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri,
                               GError* error, gpointer data);
  static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data);
  static gboolean onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer data);
  static void onMessage(WebKitUserContentManager* content, WebKitJavascriptResult* result,
                        gpointer data);
  static void onEvaluated(GObject* source, GAsyncResult* result, gpointer data);
  static void onTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                           gpointer data);
  static void onResponsiveChanged(WebKitWebView* view, GParamSpec*, gpointer data);

  /// Brings the settings and user content up to the model's configuration.
  void configure(const WebView& webView);
};

void GtkWebEngine::Page::configure(const WebView& webView) {
  const auto& configuration = webView.configuration();
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_enable_javascript(settings, configuration.preferences.javaScriptEnabled);
  // Set either way: the view may have served another page.
  const GdkRGBA clear{0, 0, 0, 0}, white{1, 1, 1, 1};
  webkit_web_view_set_background_color(view, webView.isOpaque ? &white : &clear);

  webkit_user_content_manager_remove_all_scripts(content);
  const auto& controller = *configuration.userContentController;
  const auto names = controller.handlerNames();
  if (!names.empty()) {
    if (!bridgeRegistered) {
      webkit_user_content_manager_register_script_message_handler_in_world(content, kBridgeHandler,
                                                                           kBridgeWorld);
      bridgeRegistered = true;
    }
    WebKitUserScript* forwarder = webkit_user_script_new_for_world(
        kForwarder, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kBridgeWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, forwarder);
    webkit_user_script_unref(forwarder);
    WebKitUserScript* handlers = webkit_user_script_new(
        pageHandlersScript(names).c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, handlers);
    webkit_user_script_unref(handlers);
  }
  for (const auto& script : controller.userScripts()) {
    WebKitUserScript* user =
        webkit_user_script_new(script.source.c_str(),
                               script.forMainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME
                                                       : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               script.injectionTime == UserScriptInjectionTime::atDocumentStart
                                   ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                   : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END,
                               nullptr, nullptr);
    webkit_user_content_manager_add_script(content, user);
    webkit_user_script_unref(user);
  }
}

void GtkWebEngine::Page::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto& page = *static_cast<Page*>(data);
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      page.committed = false;
      if (page.expectedLoads > 0) {
        --page.expectedLoads;
        report(page.model, [](WebView& web) { web.engineDidStartProvisionalNavigation(); });
      } else {
        const char* uri = webkit_web_view_get_uri(view);
        std::string url = page.decidedUri.empty() ? (uri ? uri : "") : page.decidedUri;
        report(page.model,
               [url = std::move(url)](WebView& web) { web.engineDidStartNavigation(url); });
      }
      page.decidedUri.clear();
      break;
    case WEBKIT_LOAD_REDIRECTED: {
      const char* uri = webkit_web_view_get_uri(view);
      report(page.model, [url = std::string(uri ? uri : "")](WebView& web) {
        web.engineDidReceiveServerRedirect(url);
      });
      break;
    }
    case WEBKIT_LOAD_COMMITTED:
      page.committed = true;
      report(page.model, [](WebView& web) { web.engineDidCommit(); });
      break;
    case WEBKIT_LOAD_FINISHED: {
      // Also after a failure past the commit; one before it was reported as a failure.
      if (!page.committed) break;
      // Reported once a round trip through the page's own world has come back: WebKit may
      // report the end of the load before the messages the page's scripts posted while it
      // loaded, and a creative that gave up while loading must not be taken for a loaded one.
      auto* model = new std::weak_ptr<WebView>(page.model);
      webkit_web_view_evaluate_javascript(
          view, "0", -1, kBridgeWorld, nullptr, nullptr,
          [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::weak_ptr<WebView>> model(
                static_cast<std::weak_ptr<WebView>*>(data));
            GError* error = nullptr;
            if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(
                    WEBKIT_WEB_VIEW(source), result, &error))
              g_object_unref(value);
            g_clear_error(&error);
            report(*model, [](WebView& web) { web.engineDidFinish(); });
          },
          model);
      break;
    }
  }
}

gboolean GtkWebEngine::Page::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                                          gpointer data) {
  auto& page = *static_cast<Page*>(data);
  // Replaced by a newer load, which the model already knows of.
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return TRUE;
  if (!page.committed) {
    report(page.model, [message = std::string(error->message)](WebView& web) {
      web.engineDidFailProvisionalNavigation(WebError{message});
    });
  }
  return TRUE;  // no error page
}

gboolean GtkWebEngine::Page::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                            WebKitPolicyDecisionType type, gpointer data) {
  auto& page = *static_cast<Page*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  // Local files are opened only when the model loads them: a page, or a frame of it, that
  // navigates to one could show what the file holds.
  if (isFileUri(uri) && page.expectedLoads == 0) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  // The view's history may hold the pages it served before this one.
  if (webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_BACK_FORWARD) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  page.decidedUri = uri ? uri : "";
  return FALSE;
}

gboolean GtkWebEngine::Page::onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog,
                                            gpointer data) {
  auto& page = *static_cast<Page*>(data);
  auto model = page.model.lock();
  if (!model) return TRUE;
  // The model's delegates may release the web view while it is asked.
  g_object_ref(view);
  bool handled = true;
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT:
      model->engineRunAlert(webkit_script_dialog_get_message(dialog));
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT: {
      const char* fallback = webkit_script_dialog_prompt_get_default_text(dialog);
      std::optional<std::string> defaultText;
      if (fallback) defaultText = fallback;
      const auto answer =
          model->engineRunPrompt(webkit_script_dialog_get_message(dialog), defaultText);
      // Unanswered or cancelled: the page's prompt() returns null.
      if (answer && *answer) webkit_script_dialog_prompt_set_text(dialog, (*answer)->c_str());
      break;
    }
    default:
      handled = false;
  }
  g_object_unref(view);
  return handled;
}

void GtkWebEngine::Page::onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                   gpointer data) {
  auto& page = *static_cast<Page*>(data);
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value)) return;
  gchar* text = jsc_value_to_string(value);
  auto message = nlohmann::ordered_json::parse(text, nullptr, false);
  g_free(text);
  if (!message.is_object() || !message["name"].is_string()) return;
  report(page.model, [name = message["name"].get<std::string>(), body = std::move(message["body"])](
                         WebView& web) { web.enginePostMessage(name, body); });
}

void GtkWebEngine::Page::onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                      gpointer data) {
  auto& page = *static_cast<Page*>(data);
  page.ended = true;
  page.question.reset();
  page.committed = false;
  WebContentTermination why = WebContentTermination::crashed;
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT)
    why = WebContentTermination::exceededMemoryLimit;
  else if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
    why = WebContentTermination::unresponsive;  // the watchdog is the only one that ends them
  report(page.model, [why](WebView& web) { web.engineWebContentProcessDidTerminate(why); });
}

void GtkWebEngine::Page::onResponsiveChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
  if (webkit_web_view_get_is_web_process_responsive(view)) return;
  auto& page = *static_cast<Page*>(data);
  page.engine->endUnresponsive(page);
}

namespace {
struct Evaluation {
  std::function<void(const JavaScriptResult&)> completion;
};
}  // namespace

void GtkWebEngine::Page::onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Evaluation> evaluation(static_cast<Evaluation*>(data));
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  JavaScriptResult outcome;
  if (error) {
    outcome.error = WebError{error->message};
    g_error_free(error);
  } else {
    if (!jsc_value_is_undefined(value)) {
      if (gchar* json = jsc_value_to_json(value, 0)) {
        outcome.value = nlohmann::ordered_json::parse(json, nullptr, false);
        if (outcome.value.is_discarded()) outcome.value = nullptr;
        g_free(json);
      }
    }
    g_object_unref(value);
  }
  if (evaluation->completion) evaluation->completion(outcome);
}

namespace {
constexpr guint kWatchIntervalMs = 1000;
}  // namespace

GtkWebEngine::GtkWebEngine(NativeLayer& layer)
    : layer_(layer),
      context_(newWebContext(hostEnvironment().webContent, refused_)),
      unresponsiveSeconds_(hostEnvironment().webContent.unresponsiveSeconds) {
  watchdog_ = g_timeout_add(kWatchIntervalMs, &GtkWebEngine::onWatch, this);
}

GtkWebEngine::~GtkWebEngine() {
  closing_ = true;
  g_source_remove(watchdog_);
  if (spare_) {
    layer_.detach(GTK_WIDGET(spare_));
    gtk_widget_destroy(GTK_WIDGET(spare_));
    g_object_unref(spare_);
    g_object_unref(spareContent_);
  }
  if (builder_) g_source_remove(builder_);
  while (!pages_.empty()) destroy(*pages_.begin()->second);
  g_object_unref(context_);
}

WebKitWebView* GtkWebEngine::newView(WebKitUserContentManager* content, bool ownProcess) const {
  WebKitSettings* settings = webkit_settings_new_with_settings(
      "allow-file-access-from-file-urls", FALSE, "allow-universal-access-from-file-urls", FALSE,
      "allow-top-navigation-to-data-urls", FALSE, "javascript-can-open-windows-automatically",
      FALSE, "enable-developer-extras", FALSE, nullptr);
  // Related to a live page: every page shares its web process (and the context's ephemeral
  // session) instead of starting one of its own. Settings and scripts stay the page's own.
  WebKitWebView* related = ownProcess ? nullptr : spare_;
  for (const auto& [model, other] : pages_) {
    if (!ownProcess && other->view && !other->ownProcess && !other->ended) related = other->view;
  }
  // The related view brings its context along.
  auto* view = WEBKIT_WEB_VIEW(
      related ? g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "settings", settings,
                             "user-content-manager", content, nullptr)
              : g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "settings", settings,
                             "user-content-manager", content, nullptr));
  g_object_unref(settings);
  g_object_ref_sink(view);
  return view;
}

void GtkWebEngine::warmUp() {
  if (refused_ || spare_ || !pages_.empty()) return;
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  WebKitWebView* view = newView(content, false);
  layer_.attach(GTK_WIDGET(view), {});
  keepSpare(view, content, false);
}

void GtkWebEngine::keepSpare(WebKitWebView* view, WebKitUserContentManager* content, bool bridge) {
  spare_ = view;
  spareContent_ = content;
  spareBridge_ = bridge;
  webkit_user_content_manager_remove_all_scripts(content);
  // Ends the last page's scripts, timers and media. What its unloading asks is answered
  // without a dialog: leave.
  g_signal_connect(
      view, "script-dialog",
      G_CALLBACK(+[](WebKitWebView*, WebKitScriptDialog* dialog, gpointer) -> gboolean {
        const auto type = webkit_script_dialog_get_dialog_type(dialog);
        if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM ||
            type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
          webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        return TRUE;
      }),
      this);
  webkit_web_view_load_uri(view, "about:blank");
}

GtkWebEngine::Page& GtkWebEngine::pageFor(const std::shared_ptr<WebView>& webView) {
  auto& slot = pages_[webView.get()];
  if (slot) return *slot;
  slot = std::make_unique<Page>();
  Page& page = *slot;
  page.engine = this;
  page.model = webView;
  page.ownProcess = webView->configuration().ownProcess;
  // Taken over once its blank page has loaded: the events of that load are not the page's.
  if (spare_ && !page.ownProcess && !webkit_web_view_is_loading(spare_)) {
    g_signal_handlers_disconnect_by_data(spare_, this);
    page.view = std::exchange(spare_, nullptr);
    page.content = std::exchange(spareContent_, nullptr);
    page.bridgeRegistered = std::exchange(spareBridge_, false);
  } else {
    page.content = webkit_user_content_manager_new();
    page.view = newView(page.content, page.ownProcess);
  }
  g_signal_connect(page.view, "load-changed", G_CALLBACK(&Page::onLoadChanged), &page);
  g_signal_connect(page.view, "load-failed", G_CALLBACK(&Page::onLoadFailed), &page);
  g_signal_connect(page.view, "decide-policy", G_CALLBACK(&Page::onDecidePolicy), &page);
  g_signal_connect(page.view, "script-dialog", G_CALLBACK(&Page::onScriptDialog), &page);
  g_signal_connect(page.view, "web-process-terminated", G_CALLBACK(&Page::onTerminated), &page);
  g_signal_connect(page.view, "notify::is-web-process-responsive",
                   G_CALLBACK(&Page::onResponsiveChanged), &page);
  const std::string signal = std::string("script-message-received::") + kBridgeHandler;
  g_signal_connect(page.content, signal.c_str(), G_CALLBACK(&Page::onMessage), &page);
  layer_.attach(GTK_WIDGET(page.view), webView);
  return page;
}

void GtkWebEngine::destroy(Page& page) {
  g_signal_handlers_disconnect_by_data(page.view, &page);
  g_signal_handlers_disconnect_by_data(page.content, &page);
  // A view of a process of its own, or of one that ended, serves no other page. A kept one
  // stays in the layer, anchored nowhere (hidden): taken out, it would be unrealized.
  if (!closing_ && !spare_ && !page.ownProcess && !page.ended) {
    layer_.attach(GTK_WIDGET(page.view), {});
    keepSpare(page.view, page.content, page.bridgeRegistered);
  } else {
    layer_.detach(GTK_WIDGET(page.view));
    gtk_widget_destroy(GTK_WIDGET(page.view));
    g_object_unref(page.view);
    g_object_unref(page.content);
  }
  pages_.erase(std::find_if(pages_.begin(), pages_.end(),
                            [&](const auto& entry) { return entry.second.get() == &page; }));
}

void GtkWebEngine::webViewDidRequestLoad(const std::shared_ptr<WebView>& webView) {
  if (webView->journal().empty()) return;
  if (refused_) {
    report(webView, [why = *refused_](WebView& web) {
      web.engineDidStartProvisionalNavigation();
      web.engineDidFailProvisionalNavigation(WebError{why});
    });
    return;
  }
  const PageRecord& record = webView->journal().back();
  if (const auto found = pages_.find(webView.get()); found != pages_.end()) {
    load(*found->second, *webView, record);
    return;
  }
  // Building a view takes long enough to drop frames: one a turn, in the order asked. A view
  // asked again before its turn loads what it was asked last.
  const auto waiting = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& entry) {
    return entry.view.lock() == webView;
  });
  if (waiting != waiting_.end()) {
    waiting->load = record;
  } else {
    waiting_.push_back({webView, record});
  }
  if (!builder_) builder_ = g_idle_add(&GtkWebEngine::onBuildNext, this);
}

gboolean GtkWebEngine::onBuildNext(gpointer self) {
  auto& engine = *static_cast<GtkWebEngine*>(self);
  while (!engine.waiting_.empty()) {
    Waiting next = std::move(engine.waiting_.front());
    engine.waiting_.pop_front();
    auto webView = next.view.lock();
    // Gone, or built since for a script.
    if (!webView || engine.pages_.count(webView.get())) continue;
    engine.load(engine.pageFor(webView), *webView, next.load);
    break;
  }
  if (!engine.waiting_.empty()) return G_SOURCE_CONTINUE;
  engine.builder_ = 0;
  return G_SOURCE_REMOVE;
}

void GtkWebEngine::load(Page& page, const WebView& webView, const PageRecord& record) {
  page.ended = false;
  page.configure(webView);
  layer_.allocateUnseen(GTK_WIDGET(page.view));
  ++page.expectedLoads;
  if (record.kind == PageRecord::Kind::document) {
    webkit_web_view_load_html(page.view, record.text.c_str(),
                              record.baseUrl ? record.baseUrl->c_str() : nullptr);
  } else {
    webkit_web_view_load_uri(page.view, record.text.c_str());
  }
}

gboolean GtkWebEngine::onWatch(gpointer self) {
  auto& engine = *static_cast<GtkWebEngine*>(self);
  const gint64 now = g_get_monotonic_time();
  const auto limit = static_cast<gint64>(engine.unresponsiveSeconds_ * G_USEC_PER_SEC);
  // One page stands for the shared process; every page with a process of its own for itself.
  std::vector<Page*> asked;
  bool sharedAsked = false;
  for (const auto& [model, page] : engine.pages_) {
    if (page->question && *page->question < 0) page->question.reset();
    if (page->ended || !page->committed) continue;
    if (!page->ownProcess) {
      if (sharedAsked) continue;
      sharedAsked = true;
    }
    asked.push_back(page.get());
  }
  for (Page* page : asked) {
    if (page->question) {
      if (now - *page->question > limit) engine.endUnresponsive(*page);
      continue;
    }
    page->question = std::make_shared<gint64>(now);
    webkit_web_view_evaluate_javascript(
        page->view, "0", -1, kBridgeWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<std::weak_ptr<gint64>> question(
              static_cast<std::weak_ptr<gint64>*>(data));
          GError* error = nullptr;
          if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source),
                                                                           result, &error))
            g_object_unref(value);
          g_clear_error(&error);
          if (auto asked = question->lock()) *asked = -1;
        },
        new std::weak_ptr<gint64>(page->question));
  }
  return G_SOURCE_CONTINUE;
}

void GtkWebEngine::endUnresponsive(Page& page) {
  if (page.ended) return;
  page.question.reset();
  // Every page of the process hears it through WebKit's termination signal.
  webkit_web_view_terminate_web_process(page.view);
}

bool GtkWebEngine::evaluateJavaScript(const std::shared_ptr<WebView>& webView,
                                      const std::string& script,
                                      std::function<void(const JavaScriptResult&)> completion) {
  if (refused_) {
    if (completion)
      postToMainQueue([completion = std::move(completion), why = *refused_] {
        completion({nullptr, WebError{why}});
      });
    return true;
  }
  const bool built = pages_.count(webView.get()) > 0;
  Page& page = pageFor(webView);
  // A load still waiting for its turn comes before the script, as it was asked.
  if (!built) {
    const auto waiting = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& entry) {
      return entry.view.lock() == webView;
    });
    if (waiting != waiting_.end()) {
      const PageRecord record = std::move(waiting->load);
      waiting_.erase(waiting);
      load(page, *webView, record);
    }
  }
  // A page told its size (at an MRAID creative's "ready") measures itself at that size.
  layer_.allocateUnseen(GTK_WIDGET(page.view));
  webkit_web_view_evaluate_javascript(page.view, script.c_str(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, &Page::onEvaluated,
                                      new Evaluation{std::move(completion)});
  return true;
}

void GtkWebEngine::webViewWillBeDestroyed(const WebView& webView) {
  if (auto found = pages_.find(&webView); found != pages_.end()) destroy(*found->second);
}

WebKitWebView* GtkWebEngine::pageOf(const WebView& webView) const {
  const auto found = pages_.find(&webView);
  return found == pages_.end() ? nullptr : found->second->view;
}

}  // namespace zelvora::platform::gtk
