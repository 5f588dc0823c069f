#pragma once

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

/// Guards a public entry point: the SDK needs a running platform backend, and (checked in
/// debug builds) runs on the main thread only.
inline bool checkMainThread(const char* operation) {
  if (!platform::hasMainQueue()) {
    log(std::string("ZelvoraFramework - ") + operation +
        " needs a platform backend: start one before using the SDK");
    return false;
  }
#ifndef NDEBUG
  if (!platform::mainQueue().isMainThread()) {
    log(std::string("ZelvoraFramework - ") + operation + " called off the main thread");
    std::abort();
  }
#endif
  return true;
}

}  // namespace zelvora
