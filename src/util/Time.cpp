#include "util/Time.h"

#include <chrono>

#include "zelvora/platform/MainQueue.h"

namespace zelvora {

double currentTime() {
  if (platform::hasMainQueue()) return platform::mainQueue().wallTime();
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double monotonicTime() {
  if (platform::hasMainQueue()) return platform::mainQueue().now();
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace zelvora
