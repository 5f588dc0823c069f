#include "zelvora/platform/MainQueue.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace zelvora::platform {
namespace {
std::mutex queueMutex;
MainQueue* installedQueue = nullptr;
}  // namespace

void installMainQueue(MainQueue* queue) {
  std::lock_guard lock(queueMutex);
  installedQueue = queue;
}

MainQueue& mainQueue() {
  std::lock_guard lock(queueMutex);
  if (installedQueue == nullptr) {
    std::fputs("zelvora: no main queue is installed; start a platform backend first\n", stderr);
    std::abort();
  }
  return *installedQueue;
}

bool hasMainQueue() {
  std::lock_guard lock(queueMutex);
  return installedQueue != nullptr;
}

bool postToMainQueue(Task task) {
  std::lock_guard lock(queueMutex);
  if (installedQueue == nullptr) return false;
  installedQueue->post(std::move(task));
  return true;
}

}  // namespace zelvora::platform
