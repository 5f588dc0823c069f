#include "Stage.h"

#include "zelvora/platform/ui/ScreenViews.h"

namespace demo {
namespace {
using zelvora::platform::View;
using zelvora::platform::WebView;

/// What the screen shows: the key window's views.
std::shared_ptr<View> screen() {
  return zelvora::platform::Application::shared().keyWindow();
}
}  // namespace

std::shared_ptr<View> Stage::findById(const std::string& identifier) const {
  const auto window = screen();
  return window ? zelvora::platform::visibleViewWithId(*window, identifier) : nullptr;
}

std::shared_ptr<View> Stage::findByTitle(const std::string& text) const {
  const auto window = screen();
  return window ? zelvora::platform::visibleViewTitled(*window, text) : nullptr;
}

std::shared_ptr<WebView> Stage::findWebView() const {
  const auto window = screen();
  if (!window) return nullptr;
  const auto all = zelvora::platform::visibleViewsOfType<WebView>(*window);
  return all.empty() ? nullptr : all.front();
}

std::string Stage::dumpScreen() const {
  const auto window = screen();
  return window ? zelvora::platform::describeViewTree(*window) : std::string();
}

}  // namespace demo
