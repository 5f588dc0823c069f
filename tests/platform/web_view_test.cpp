// The platform web view on the headless engine: when user scripts run, what JavaScript being
// off stops, evaluation order and completions, message handlers (and messages too deep for
// them), and loads the engine plays by itself.
#include "support/SdkTest.h"

namespace zelvora::platform::headless {
namespace {

using Kind = PageRecord::Kind;

class Handler : public ScriptMessageHandler {
 public:
  void userContentControllerDidReceive(UserContentController&,
                                       const ScriptMessage& message) override {
    received.push_back(message.name + ":" + message.body.dump());
  }
  std::vector<std::string> received;
};

class WebViewTest : public test::PlatformTest {
 protected:
  std::shared_ptr<WebView> make(bool javaScript) {
    WebViewConfiguration configuration;
    configuration.preferences.javaScriptEnabled = javaScript;
    configuration.userContentController->addUserScript(
        {"start", UserScriptInjectionTime::atDocumentStart, true});
    configuration.userContentController->addUserScript(
        {"end", UserScriptInjectionTime::atDocumentEnd, true});
    configuration.userContentController->add(handler, "bridge");
    return WebView::make({}, configuration);
  }
  static std::vector<std::string> journal(const WebView& web) {
    std::vector<std::string> entries;
    for (const auto& record : web.journal()) entries.push_back(record.text);
    return entries;
  }
  std::shared_ptr<Handler> handler = std::make_shared<Handler>();
};

TEST_F(WebViewTest, ScriptsAndMessagesRunOnlyWithJavaScript) {
  auto on = make(true);
  auto off = make(false);
  for (const auto& web : {on, off}) {
    web->loadHTMLString("<p>page</p>", std::nullopt);
    EXPECT_EQ(web->url(), "about:blank");
    driver.finishLoading(web);
    driver.postMessage(web, "bridge", {{"name", "close"}});
    EXPECT_FALSE(driver.postMessage(web, "nobody", "hello"));
  }
  EXPECT_EQ(journal(*on), (std::vector<std::string>{"<p>page</p>", "start", "end"}));
  EXPECT_EQ(journal(*off), (std::vector<std::string>{"<p>page</p>"}));
  EXPECT_EQ(handler->received, (std::vector<std::string>{"bridge:{\"name\":\"close\"}"}));
}

TEST_F(WebViewTest, MessagesNestedTooDeepAreRefused) {
  auto web = make(true);
  web->loadHTMLString("<p>page</p>", std::nullopt);
  driver.finishLoading(web);
  const auto nested = [](int depth) {
    return nlohmann::ordered_json::parse(std::string(depth, '[') + std::string(depth, ']'));
  };
  EXPECT_TRUE(driver.postMessage(web, "bridge", nested(512)));
  // Deep enough that handing it on by copy overflowed the stack.
  EXPECT_FALSE(driver.postMessage(web, "bridge", nested(1'000'000)));
  EXPECT_TRUE(driver.postMessage(web, "bridge", {{"name", "close"}}));
  ASSERT_EQ(handler->received.size(), 2u);
  EXPECT_EQ(handler->received[1], "bridge:{\"name\":\"close\"}");
}

TEST_F(WebViewTest, EvaluationsRunInOrderAndCompleteLater) {
  auto web = make(true);
  std::vector<int> completed;
  web->evaluateJavaScript("one", [&](const JavaScriptResult&) { completed.push_back(1); });
  web->evaluateJavaScript("two");
  web->evaluateJavaScript("three", [&](const JavaScriptResult&) { completed.push_back(3); });
  EXPECT_TRUE(completed.empty());
  driver.settle();
  EXPECT_EQ(completed, (std::vector<int>{1, 3}));
  EXPECT_EQ(journal(*web), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(web->journal()[0].kind, Kind::script);
}

// With autoLoad, every load plays to its end unless a newer load replaced it; the engine
// knows the web views that loaded, on screen or not, as long as they live.
TEST_F(WebViewTest, EngineLoadsByItself) {
  struct Finishes : NavigationDelegate {
    void webViewDidFinish(WebView& web, Navigation) override { urls.push_back(*web.url()); }
    std::vector<std::string> urls;
  };
  auto finishes = std::make_shared<Finishes>();
  platform_->webEngine().autoLoad = true;
  auto web = make(true);
  web->navigationDelegate = finishes;
  web->load({"https://example.com/first"});
  web->loadHTMLString("<p>second</p>", "file:///tmp/base.html");
  auto other = make(true);
  other->load({"about:blank"});
  EXPECT_EQ(driver.allWebViews(), (std::vector<std::shared_ptr<WebView>>{web, other}));
  driver.settle();
  EXPECT_EQ(finishes->urls, (std::vector<std::string>{"file:///tmp/base.html"}));
  other.reset();
  EXPECT_EQ(driver.allWebViews().size(), 1u);
}

}  // namespace
}  // namespace zelvora::platform::headless
