#include "zelvora/platform/MainQueue.h"

#include <cstdio>
#include <cstdlib>

#include "zelvora/platform/Mutex.h"

namespace zelvora::platform {
namespace {
Mutex queueMutex;
MainQueue* installedQueue ZELVORA_GUARDED_BY(queueMutex) = nullptr;
}  // namespace

void installMainQueue(MainQueue* queue) {
  MutexLock lock(queueMutex);
  installedQueue = queue;
}

MainQueue& mainQueue() {
  MutexLock lock(queueMutex);
  if (installedQueue == nullptr) {
    std::fputs("zelvora: no main queue is installed; start a platform backend first\n", stderr);
    std::abort();
  }
  return *installedQueue;
}

bool hasMainQueue() {
  MutexLock lock(queueMutex);
  return installedQueue != nullptr;
}

bool postToMainQueue(Task task) {
  MutexLock lock(queueMutex);
  if (installedQueue == nullptr) return false;
  installedQueue->post(std::move(task));
  return true;
}

}  // namespace zelvora::platform
