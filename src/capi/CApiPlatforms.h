#pragma once

// What the C API's platform constructors share. The backends a build has decide which file
// defines the desktop ones: CApiGtk.cpp, or CApiNoGtk.cpp, where they answer "unsupported".

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "zelvora/platform/Backend.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/zelvora.h"

struct zelvora_platform {
  std::unique_ptr<zelvora::platform::Backend> backend;
  std::atomic<bool> quitAsked{false};
  std::atomic<bool> running{false};
};

namespace zelvora::capi {

/// Sets this thread's last error message and returns `status`.
zelvora_status fail(zelvora_status status, std::string message);

platform::HostEnvironment environmentFrom(const zelvora_environment* given);

/// Makes the platform with `make`, unless one is alive; `operation` names the call in messages.
zelvora_status createPlatform(zelvora_platform** platform, const char* operation,
                              const std::function<std::unique_ptr<platform::Backend>()>& make);

}  // namespace zelvora::capi
