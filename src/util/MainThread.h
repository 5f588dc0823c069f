#pragma once

#include <cstdlib>
#include <string>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

/// Whether a public entry point may go on: on the main thread of the installed main queue, or,
/// unless it `needsPlatform`, before any queue is installed. A refused call leaves one line in
/// every build; off the main thread, debug builds then abort, to point at the caller at once.
inline bool onMainThread(const char* operation, bool needsPlatform = false) {
  if (!platform::hasMainQueue()) {
    if (!needsPlatform) return true;
    log(LogLevel::error, std::string("ZelvoraFramework - ") + operation +
                             " needs a platform backend: start one before using the SDK");
    return false;
  }
  if (platform::mainQueue().isMainThread()) return true;
  log(LogLevel::error,
      std::string("ZelvoraFramework - ") + operation + " called off the main thread");
#ifndef NDEBUG
  std::abort();
#endif
  return false;
}

}  // namespace zelvora
