#include "HeadlessStage.h"

#include <algorithm>
#include <chrono>

namespace demo {
using zelvora::platform::View;
using zelvora::platform::WebView;

HeadlessStage::HeadlessStage(zelvora::platform::HostEnvironment environment)
    // The base only keeps the reference: the platform is built before it is used.
    : Stage(platform_),
      platform_(std::move(environment), zelvora::platform::headless::ClockMode::manual),
      driver_(platform_),
      page_(platform_, driver_) {}

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

bool HeadlessStage::snapshot(const std::filesystem::path& file) {
  return driver_.snapshot(file);
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
