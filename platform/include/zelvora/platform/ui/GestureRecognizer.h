#pragma once

#include <functional>
#include <memory>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// Recognises taps on its view and calls its action. The target is held weakly, as the
/// platform does: an action whose target is gone is skipped.
class ZELVORA_API TapGestureRecognizer {
 public:
  template <class Target>
  TapGestureRecognizer(const std::shared_ptr<Target>& target, void (Target::*action)()) {
    action_ = [weak = std::weak_ptr<Target>(target), action] {
      if (auto strong = weak.lock()) ((*strong).*action)();
    };
  }

  int numberOfTapsRequired = 1;
  bool isEnabled = true;

  /// Called by the backend when its view was tapped `taps` times.
  void recognize(int taps = 1) {
    if (isEnabled && taps >= numberOfTapsRequired && action_) action_();
  }

 private:
  std::function<void()> action_;
};

}  // namespace zelvora::platform
