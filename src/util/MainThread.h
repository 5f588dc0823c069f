#pragma once

#include <cstdlib>
#include <string>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

/// Debug builds: aborts when called off the main thread of an installed main queue.
inline void assertMainThread(const char* operation) {
#ifndef NDEBUG
  if (platform::hasMainQueue() && !platform::mainQueue().isMainThread()) {
    log(std::string("ZelvoraFramework - ") + operation + " called off the main thread");
    std::abort();
  }
#else
  (void)operation;
#endif
}

/// Guards a public entry point: the SDK needs a running platform backend, and (checked in
/// debug builds) runs on the main thread only.
inline bool checkMainThread(const char* operation) {
  if (!platform::hasMainQueue()) {
    log(std::string("ZelvoraFramework - ") + operation +
        " needs a platform backend: start one before using the SDK");
    return false;
  }
  assertMainThread(operation);
  return true;
}

}  // namespace zelvora
