#include "zelvora/platform/headless/TestDriver.h"

#include <cmath>
#include <cstdio>

#include "zelvora/platform/headless/Snapshot.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/Label.h"

namespace zelvora::platform::headless {
namespace {

/// Below this alpha a view neither shows nor takes touches.
constexpr double transparent = 0.01;

std::shared_ptr<View> screenRoot(HeadlessPlatform& platform) {
  if (auto window = Application::shared().keyWindow()) return window;
  return platform.window();
}

void collectVisible(const std::shared_ptr<View>& view, std::vector<std::shared_ptr<View>>& out) {
  if (view->isHidden) return;
  out.push_back(view);
  for (const auto& child : view->subviews()) collectVisible(child, out);
}

std::optional<Rect> intersect(const std::optional<Rect>& clip, const Rect& rect) {
  if (!clip) return rect;
  const double left = std::max(clip->x, rect.x);
  const double top = std::max(clip->y, rect.y);
  const double right = std::min(clip->x + clip->width, rect.x + rect.width);
  const double bottom = std::min(clip->y + clip->height, rect.y + rect.height);
  return Rect{left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
}

bool takesTouches(const View& view) {
  return !view.isHidden && view.alpha > transparent && view.isUserInteractionEnabled;
}

std::shared_ptr<View> hit(const std::shared_ptr<View>& view, Point point,
                          std::optional<Rect> clip) {
  if (!takesTouches(*view)) return nullptr;
  const Rect rect = view->frameInRoot();
  if (view->clipsToBounds) clip = intersect(clip, rect);
  const auto& children = view->subviews();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto found = hit(*it, point, clip)) return found;
  }
  if (rect.contains(point) && (!clip || clip->contains(point))) return view;
  return nullptr;
}

/// The view answers a tap: the nearest button, or view with recognizers, from `view` up to
/// (not including) `root`.
bool respond(std::shared_ptr<View> view, const View& root) {
  for (; view && view.get() != &root; view = view->superview()) {
    if (auto button = std::dynamic_pointer_cast<Button>(view)) {
      if (!button->isEnabled) return false;
      button->sendActions(ControlEvent::touchUpInside);
      return true;
    }
    if (view->gestureRecognizers().empty()) continue;
    // Copy: an action may change the view's recognizers or release the view.
    const auto recognizers = view->gestureRecognizers();
    bool fired = false;
    for (const auto& recognizer : recognizers) {
      fired |= recognizer->isEnabled && recognizer->numberOfTapsRequired <= 1;
      recognizer->recognize(1);
    }
    return fired;
  }
  return false;
}

std::string number(double value) {
  double rounded = std::round(value * 10) / 10;
  if (rounded == 0) rounded = 0;  // no "-0"
  char text[48];
  std::snprintf(text, sizeof text, rounded == std::floor(rounded) ? "%.0f" : "%.1f", rounded);
  return text;
}

void dump(const View& view, int depth, std::string& out) {
  const Rect rect = view.frameInRoot();
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += view.typeName() + " (" + number(rect.x) + ", " + number(rect.y) + ", " +
         number(rect.width) + ", " + number(rect.height) + ")";
  if (const auto content = view.describeContent(); !content.empty()) out += " " + content;
  if (!view.accessibilityIdentifier.empty()) out += " #" + view.accessibilityIdentifier;
  if (view.isHidden) out += " hidden";
  if (view.alpha != 1) out += " alpha=" + number(view.alpha);
  out += "\n";
  if (view.isHidden) return;
  for (const auto& child : view.subviews()) dump(*child, depth + 1, out);
}

}  // namespace

std::vector<std::shared_ptr<View>> TestDriver::visibleViews() const {
  std::vector<std::shared_ptr<View>> views;
  if (auto root = screenRoot(platform_)) {
    for (const auto& child : root->subviews()) collectVisible(child, views);
  }
  return views;
}

std::shared_ptr<View> TestDriver::findByTitle(const std::string& text) const {
  for (const auto& view : visibleViews()) {
    if (auto button = std::dynamic_pointer_cast<Button>(view)) {
      const auto state = button->isEnabled ? ControlState::normal : ControlState::disabled;
      if (button->title(state) == text) return view;
    } else if (auto label = std::dynamic_pointer_cast<Label>(view)) {
      if (label->text == text) return view;
    }
  }
  return nullptr;
}

std::shared_ptr<View> TestDriver::findById(const std::string& accessibilityIdentifier) const {
  for (const auto& view : visibleViews()) {
    if (view->accessibilityIdentifier == accessibilityIdentifier) return view;
  }
  return nullptr;
}

bool TestDriver::tap(const std::shared_ptr<View>& view) {
  const auto root = screenRoot(platform_);
  if (!view || !root) return false;
  // A finger reaches the view only when it and every ancestor up to the window show it and
  // take touches.
  for (auto node = view; node.get() != root.get(); node = node->superview()) {
    if (!node || !takesTouches(*node)) return false;
  }
  const bool responded = respond(view, *root);
  settle();
  return responded;
}

std::shared_ptr<View> TestDriver::hitTest(Point point) const {
  const auto root = screenRoot(platform_);
  if (!root) return nullptr;
  const auto& children = root->subviews();
  const std::optional<Rect> clip = root->frameInRoot();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto found = hit(*it, point, clip)) return found;
  }
  return nullptr;
}

bool TestDriver::tapAt(Point point) {
  const auto root = screenRoot(platform_);
  auto view = hitTest(point);
  const bool responded = view && respond(std::move(view), *root);
  settle();
  return responded;
}

bool TestDriver::rotate(InterfaceOrientation orientation) {
  const bool turned = Application::shared().rotate(orientation);
  settle();
  return turned;
}

void TestDriver::sendToBackground() {
  Application::shared().setActive(false);
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

std::string TestDriver::dumpScreen() const {
  std::string out;
  if (auto root = screenRoot(platform_)) dump(*root, 0, out);
  return out;
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
