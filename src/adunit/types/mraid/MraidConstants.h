#pragma once

#include "zelvora/ZelController.h"

namespace zelvora {

/// What the SDK tells MRAID creatives about itself, and the names of states and events.
struct Mraid {
  static constexpr const char* sdkName = "Zelvora SDK";
  /// The MRAID version the container implements.
  static constexpr const char* version = "3.0";
  static constexpr const char* sdkVersion = ZelController::version;
  static constexpr const char* placementType = "interstitial";

  static constexpr const char* readyEvent = "ready";
  static constexpr const char* sizeChangeEvent = "sizeChange";
  static constexpr const char* stateChangeEvent = "stateChange";
  static constexpr const char* exposureChangeEvent = "exposureChange";

  static constexpr const char* containerDefaultState = "default";
  static constexpr const char* containerLoadingState = "loading";
  static constexpr const char* containerHiddenState = "hidden";
};

}  // namespace zelvora
