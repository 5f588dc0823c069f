#pragma once

#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/headless/RunLoop.h"

namespace zelvora::platform::headless {

/// The headless backend: needs no display and is fully deterministic on the manual clock.
/// Create one on the main thread before using the SDK; it installs the host environment and
/// its run loop as the main queue, and uninstalls the queue when destroyed.
class HeadlessPlatform {
 public:
  explicit HeadlessPlatform(HostEnvironment environment = {}, ClockMode clock = ClockMode::real);
  ~HeadlessPlatform();
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  RunLoop& runLoop() { return runLoop_; }

 private:
  RunLoop runLoop_;
};

}  // namespace zelvora::platform::headless
