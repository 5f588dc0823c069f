#include "HeadlessStage.h"

#include <algorithm>
#include <chrono>

namespace demo {
using zelvora::platform::View;
using zelvora::platform::WebView;

HeadlessStage::HeadlessStage(zelvora::platform::HostEnvironment environment)
    : platform_(std::move(environment), zelvora::platform::headless::ClockMode::manual),
      driver_(platform_),
      page_(platform_, driver_) {}

bool HeadlessStage::runUntil(const std::function<bool()>& done, double seconds) {
  return platform_.runLoop().runUntil(done, seconds);
}

bool HeadlessStage::waitFor(const std::function<bool()>& done, double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (true) {
    page_.play();
    if (done()) return true;
    const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    platform_.runLoop().runUntil([&] { return done() || page_.hasWork(); }, left);
  }
}

void HeadlessStage::pause(double seconds) {
  // A power of two: the clock adds steps without rounding, display times stay exact.
  constexpr double step = 0.125;
  for (double left = seconds; left > 0; left -= step) {
    page_.play();
    platform_.runLoop().advance(std::min(step, left));
  }
  page_.play();
}

bool HeadlessStage::pauseUntil(const std::function<bool()>& done, double seconds) {
  for (double waited = 0; !done(); waited += 0.125) {
    if (waited >= seconds) return false;
    pause(0.125);
  }
  return true;
}

double HeadlessStage::now() const {
  return platform_.runLoop().now();
}

std::shared_ptr<View> HeadlessStage::findById(const std::string& identifier) const {
  return driver_.findById(identifier);
}

std::shared_ptr<View> HeadlessStage::findByTitle(const std::string& text) const {
  return driver_.findByTitle(text);
}

std::shared_ptr<WebView> HeadlessStage::findWebView() const {
  return driver_.find<WebView>();
}

std::string HeadlessStage::dumpScreen() const {
  return driver_.dumpScreen();
}

bool HeadlessStage::snapshot(const std::filesystem::path& file) {
  return driver_.snapshot(file);
}

std::shared_ptr<zelvora::platform::ViewController> HeadlessStage::rootViewController() const {
  return platform_.rootViewController();
}

const std::vector<std::string>& HeadlessStage::openedUrls() const {
  return platform_.urlHandler().openedUrls;
}

bool HeadlessStage::tap(const std::shared_ptr<View>& view) {
  return driver_.tap(view);
}

std::optional<std::string> HeadlessStage::tapPage(const std::shared_ptr<WebView>& webView) {
  return page_.tap(webView);
}

void HeadlessStage::letPagesLoad() {
  page_.play();
}

bool HeadlessStage::rotate(zelvora::platform::InterfaceOrientation orientation) {
  return driver_.rotate(orientation);
}

}  // namespace demo
