#include "zelvora/platform/headless/HeadlessPlatform.h"

namespace zelvora::platform::headless {

HeadlessPlatform::HeadlessPlatform(HostEnvironment environment, ClockMode clock) : runLoop_(clock) {
  setHostEnvironment(std::move(environment));
  installMainQueue(&runLoop_);
}

HeadlessPlatform::~HeadlessPlatform() {
  installMainQueue(nullptr);
}

}  // namespace zelvora::platform::headless
