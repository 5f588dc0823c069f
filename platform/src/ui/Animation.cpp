#include "zelvora/platform/ui/Animation.h"

#include "zelvora/platform/MainQueue.h"

namespace zelvora::platform {

void animate(double duration, std::function<void()> changes, std::function<void()> completion) {
  if (changes) changes();
  if (!completion) return;
  if (duration > 0) {
    mainQueue().postAfter(duration, std::move(completion));
  } else {
    mainQueue().post(std::move(completion));
  }
}

}  // namespace zelvora::platform
