#include "zelvora/platform/headless/TestDriver.h"

#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/headless/Snapshot.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/ScreenViews.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora::platform::headless {
namespace {

std::shared_ptr<View> screenRoot(HeadlessPlatform& platform) {
  if (auto window = Application::shared().keyWindow()) return window;
  return platform.window();
}

}  // namespace

std::vector<std::shared_ptr<View>> TestDriver::visibleViews() const {
  const auto root = screenRoot(platform_);
  return root ? platform::visibleViews(*root) : std::vector<std::shared_ptr<View>>{};
}

std::shared_ptr<View> TestDriver::findByTitle(const std::string& text) const {
  const auto root = screenRoot(platform_);
  return root ? visibleViewTitled(*root, text) : nullptr;
}

std::shared_ptr<View> TestDriver::findById(const std::string& accessibilityIdentifier) const {
  const auto root = screenRoot(platform_);
  return root ? visibleViewWithId(*root, accessibilityIdentifier) : nullptr;
}

bool TestDriver::tap(const std::shared_ptr<View>& view) {
  const auto root = screenRoot(platform_);
  if (!view || !root || !view->isDescendant(*root)) return false;
  const bool responded = sendTap(view);
  settle();
  return responded;
}

std::shared_ptr<View> TestDriver::hitTest(Point point) const {
  const auto root = screenRoot(platform_);
  return root ? platform::hitTest(*root, point) : nullptr;
}

bool TestDriver::tapAt(Point point) {
  const bool responded = sendTap(hitTest(point));
  settle();
  return responded;
}

bool TestDriver::press(Key key) {
  const auto window = Application::shared().keyWindow();
  const bool used = window && window->handleKey(key);
  settle();
  return used;
}

std::shared_ptr<View> TestDriver::focusedView() const {
  const auto window = Application::shared().keyWindow();
  return window ? window->focusedView() : nullptr;
}

bool TestDriver::rotate(InterfaceOrientation orientation) {
  const bool turned = Application::shared().rotate(orientation);
  settle();
  return turned;
}

void TestDriver::sendToBackground() {
  Application::shared().postWillResignActive();
  settle();
}

void TestDriver::bringToForeground() {
  Application::shared().postDidBecomeActive();
  settle();
}

std::size_t TestDriver::playNavigation(const std::shared_ptr<WebView>& webView,
                                       const std::vector<NavigationStep>& steps) {
  // Held weakly: the page's owner may release the web view in answer to any event.
  std::weak_ptr<WebView> weak = webView;
  std::size_t played = 0;
  for (const auto& step : steps) {
    {
      auto view = weak.lock();
      if (!view) break;
      switch (step.kind) {
        case NavigationStep::Kind::start:
          view->engineDidStartProvisionalNavigation();
          break;
        case NavigationStep::Kind::redirect:
          view->engineDidReceiveServerRedirect(step.detail);
          break;
        case NavigationStep::Kind::commit:
          view->engineDidCommit();
          break;
        case NavigationStep::Kind::finish:
          view->engineDidFinish();
          break;
        case NavigationStep::Kind::fail:
          view->engineDidFailProvisionalNavigation(WebError{step.detail});
          break;
      }
    }
    ++played;
    settle();
  }
  return played;
}

std::size_t TestDriver::finishLoading(const std::shared_ptr<WebView>& webView) {
  return playNavigation(
      webView, {NavigationStep::start(), NavigationStep::commit(), NavigationStep::finish()});
}

std::size_t TestDriver::failLoading(const std::shared_ptr<WebView>& webView,
                                    const std::string& description) {
  return playNavigation(webView, {NavigationStep::start(), NavigationStep::fail(description)});
}

bool TestDriver::failPlayback(const std::shared_ptr<Player>& player, const std::string& reason) {
  const bool failed = player && headless::failPlayback(*player, reason);
  settle();
  return failed;
}

std::string TestDriver::dumpScreen() const {
  const auto root = screenRoot(platform_);
  return root ? describeViewTree(*root) : std::string();
}

bool TestDriver::snapshot(const std::filesystem::path& path) const {
  auto root = screenRoot(platform_);
  return root && headless::snapshot(*root, path);
}

void TestDriver::startNavigation(const std::shared_ptr<WebView>& webView, const std::string& url) {
  webView->engineDidStartNavigation(url);
  settle();
}

void TestDriver::loadPage(const std::shared_ptr<WebView>& webView, const std::string& url) {
  startNavigation(webView, url);
  playNavigation(webView, {NavigationStep::commit(), NavigationStep::finish()});
}

bool TestDriver::postMessage(const std::shared_ptr<WebView>& webView, const std::string& name,
                             const nlohmann::ordered_json& body) {
  const bool received = webView->enginePostMessage(name, body);
  settle();
  return received;
}

bool TestDriver::alert(const std::shared_ptr<WebView>& webView, const std::string& message) {
  const bool answered = webView->engineRunAlert(message);
  settle();
  return answered;
}

std::optional<std::optional<std::string>> TestDriver::prompt(
    const std::shared_ptr<WebView>& webView, const std::string& message,
    const std::optional<std::string>& defaultText) {
  auto answer = webView->engineRunPrompt(message, defaultText);
  settle();
  return answer;
}

}  // namespace zelvora::platform::headless
