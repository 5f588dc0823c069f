#include "ScriptedPage.h"

#include <algorithm>
#include <cctype>

#include "Console.h"

namespace demo {
namespace {
using zelvora::platform::PageRecord;
using zelvora::platform::WebView;
using zelvora::platform::headless::NavigationStep;

/// Where the journal's latest load is: a document (its markup) or a request (its URL).
std::optional<std::size_t> latestLoad(const WebView& webView) {
  const auto& journal = webView.journal();
  for (std::size_t i = journal.size(); i-- > 0;) {
    if (journal[i].kind == PageRecord::Kind::document ||
        journal[i].kind == PageRecord::Kind::request)
      return i;
  }
  return std::nullopt;
}

/// The current document's markup, when the latest load is one.
std::optional<std::string> currentMarkup(const WebView& webView) {
  const auto at = latestLoad(webView);
  if (!at || webView.journal()[*at].kind != PageRecord::Kind::document) return std::nullopt;
  return webView.journal()[*at].text;
}

bool javaScriptOn(const WebView& webView) {
  return webView.configuration().preferences.javaScriptEnabled;
}

bool contains(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

/// The string literal (single or double quotes) at `at` in `text`, after white space.
std::optional<std::string> literalAt(const std::string& text, std::size_t at) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  if (at >= text.size() || (text[at] != '\'' && text[at] != '"')) return std::nullopt;
  const auto end = text.find(text[at], at + 1);
  if (end == std::string::npos) return std::nullopt;
  return text.substr(at + 1, end - at - 1);
}

/// The literal given to the first `call` ("mraid.open(") in `markup`.
std::optional<std::string> argumentOf(const std::string& markup, const std::string& call) {
  const auto at = markup.find(call);
  return at == std::string::npos ? std::nullopt : literalAt(markup, at + call.size());
}

/// The literal a script assigns to location.href.
std::optional<std::string> scriptNavigation(const std::string& markup) {
  const std::string property = "location.href";
  auto at = markup.find(property);
  if (at == std::string::npos) return std::nullopt;
  at += property.size();
  while (at < markup.size() && std::isspace(static_cast<unsigned char>(markup[at]))) ++at;
  if (at >= markup.size() || markup[at] != '=') return std::nullopt;
  return literalAt(markup, at + 1);
}

/// The address of the first link.
std::optional<std::string> linkTarget(const std::string& markup) {
  return argumentOf(markup, " href=");
}

/// Whether the SDK sent the current document its "ready" event.
bool toldReady(const WebView& webView) {
  const auto from = latestLoad(webView);
  const auto& journal = webView.journal();
  return std::any_of(journal.begin() + static_cast<std::ptrdiff_t>(from ? *from + 1 : 0),
                     journal.end(), [](const PageRecord& record) {
                       return record.kind == PageRecord::Kind::script &&
                              contains(record.text, "triggerEvent(\"ready\"");
                     });
}

/// `text` on one line of at most `width` characters. Pretty-printed JSON inside string
/// literals ("\n" escapes) counts as white space too.
std::string compact(const std::string& text, std::size_t width = 120) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escapedNewline = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n';
    if (escapedNewline || std::isspace(static_cast<unsigned char>(text[i]))) {
      if (escapedNewline) ++i;
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += text[i];
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line.size() <= width ? line : line.substr(0, width - 3) + "...";
}
}  // namespace

bool ScriptedPage::hasWork() const {
  const auto all = driver_.allWebViews();
  return std::any_of(all.begin(), all.end(), [&](const auto& view) { return pending(view); });
}

void ScriptedPage::play() {
  std::erase_if(pages_, [](const auto& entry) { return entry.first.expired(); });
  for (const auto& webView : driver_.allWebViews()) {
    if (pending(webView)) load(webView);
    runTimers(webView);
  }
}

std::optional<std::string> ScriptedPage::tap(const std::shared_ptr<WebView>& webView) {
  const auto markup = webView ? currentMarkup(*webView) : std::nullopt;
  if (!markup) return std::nullopt;
  const bool scripts = javaScriptOn(*webView);
  if (scripts && isMraid(*webView) && toldReady(*webView)) {
    if (const auto url = argumentOf(*markup, "mraid.open(")) {
      driver_.postMessage(webView, "mraidHostBridge", {{"name", "open"}, {"params", *url}});
      return "mraid.open(" + *url + ")";
    }
  }
  if (const auto url = scripts ? scriptNavigation(*markup) : std::nullopt) {
    navigate(webView, *url);
    return "its script navigates to " + *url;
  }
  if (const auto url = linkTarget(*markup)) {
    navigate(webView, *url);
    return "its link to " + *url;
  }
  return std::nullopt;
}

bool ScriptedPage::isMraid(const WebView& webView) {
  return webView.configuration().userContentController->handler("mraidHostBridge") != nullptr;
}

std::optional<std::string> ScriptedPage::forcedOrientation(const WebView& webView) {
  const auto markup = currentMarkup(webView);
  if (!markup || !javaScriptOn(webView) || !isMraid(webView)) return std::nullopt;
  const auto call = markup->find("mraid.setOrientationProperties(");
  if (call == std::string::npos) return std::nullopt;
  const auto force = argumentOf(markup->substr(call), "forceOrientation:");
  if (force != "landscape" && force != "portrait") return std::nullopt;
  return force;
}

std::vector<std::string> ScriptedPage::exposuresTold(const WebView& webView) {
  const std::string event = "mraidController.triggerEvent(\"exposureChange\", [";
  std::vector<std::string> percentages;
  for (const auto& record : webView.journal()) {
    if (record.kind == PageRecord::Kind::script && record.text.rfind(event, 0) == 0)
      percentages.push_back(
          record.text.substr(event.size(), record.text.find(',', event.size()) - event.size()));
  }
  return percentages;
}

bool ScriptedPage::closesItself(const WebView& webView) {
  const auto markup = currentMarkup(webView);
  return markup && javaScriptOn(webView) && isMraid(webView) && contains(*markup, "mraid.close()");
}

std::vector<std::string> ScriptedPage::scriptsRun(const WebView& webView) {
  std::vector<std::string> lines;
  const auto from = latestLoad(webView);
  const auto& journal = webView.journal();
  for (std::size_t i = from ? *from + 1 : 0; i < journal.size(); ++i) {
    const auto& record = journal[i];
    if (record.kind == PageRecord::Kind::userScript) {
      lines.push_back("user script (" + std::to_string(record.text.size()) +
                      " characters): " + compact(record.text, 60));
    } else if (record.kind == PageRecord::Kind::script) {
      // A script may set several properties at once: one line each.
      const std::string property = "window.mraidData.";
      const std::string& text = record.text;
      if (text.rfind(property, 0) != 0) {
        lines.push_back(compact(text));
        continue;
      }
      for (std::size_t at = 0; at != std::string::npos;) {
        const auto next = text.find(property, at + property.size());
        lines.push_back(compact(text.substr(at, next - at)));
        at = next;
      }
    }
  }
  return lines;
}

bool ScriptedPage::pending(const std::shared_ptr<WebView>& webView) const {
  const auto found = pages_.find(webView);
  return found == pages_.end() || found->second.navigation != webView->currentNavigation().id;
}

void ScriptedPage::load(const std::shared_ptr<WebView>& webView) {
  const auto navigation = webView->currentNavigation().id;
  pages_[webView] = PageState{};
  pages_[webView].navigation = navigation;
  const auto markup = currentMarkup(*webView);
  const bool fallsBack = markup && javaScriptOn(*webView) && contains(*markup, "mraid.fallback()");
  driver_.playNavigation(webView, {NavigationStep::start(), NavigationStep::commit()});
  if (fallsBack) {
    Console::say("page: the creative calls mraid.fallback() as it loads");
    driver_.postMessage(webView, "mraidHostBridge", {{"name", "fallback"}});
  }
  if (const auto orientation = forcedOrientation(*webView)) {
    Console::say("page: the creative holds the screen in " + *orientation + " as it loads");
    driver_.postMessage(
        webView, "mraidHostBridge",
        {{"name", "setOrientationProperties"},
         {"params", {{"allowOrientationChange", false}, {"forceOrientation", *orientation}}}});
  }
  // The SDK may have loaded something else meanwhile: that load is played next time.
  if (webView->currentNavigation().id == navigation)
    driver_.playNavigation(webView, {NavigationStep::finish()});
}

void ScriptedPage::runTimers(const std::shared_ptr<WebView>& webView) {
  auto& page = pages_[webView];
  if (page.closed || !closesItself(*webView) || !toldReady(*webView)) return;
  const double now = platform_.runLoop().now();
  if (!page.readyAt) page.readyAt = now;
  if (now < *page.readyAt + selfCloseSeconds) return;
  page.closed = true;
  Console::say("page: the creative's countdown ends: it calls mraid.close()");
  driver_.postMessage(webView, "mraidHostBridge", {{"name", "close"}});
}

void ScriptedPage::navigate(const std::shared_ptr<WebView>& webView, const std::string& url) {
  // The landing page opens in the SDK's click-through web view; the page's own navigation
  // stays provisional.
  driver_.startNavigation(webView, url);
  pages_[webView].navigation = webView->currentNavigation().id;
}

}  // namespace demo
