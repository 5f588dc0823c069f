#pragma once

#include <cstdlib>
#include <string>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

/// Whether the caller may touch the SDK's state: on the main thread of the installed main
/// queue, or before any is installed. Off it, the call is refused with one line, in every
/// build; debug builds then abort, to point at the caller at once.
inline bool onMainThread(const char* operation) {
  if (!platform::hasMainQueue() || platform::mainQueue().isMainThread()) return true;
  log(LogLevel::error,
      std::string("ZelvoraFramework - ") + operation + " called off the main thread");
#ifndef NDEBUG
  std::abort();
#endif
  return false;
}

/// Guards a public entry point: the SDK needs a running platform backend, and runs on the
/// main thread only.
inline bool checkMainThread(const char* operation) {
  if (!platform::hasMainQueue()) {
    log(LogLevel::error, std::string("ZelvoraFramework - ") + operation +
                             " needs a platform backend: start one before using the SDK");
    return false;
  }
  return onMainThread(operation);
}

}  // namespace zelvora
