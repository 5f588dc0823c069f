#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "zelvora/Export.h"

namespace zelvora::platform {

using Task = std::function<void()>;
using TimerId = std::uint64_t;

/// The application's main queue: every SDK operation, callback and timer runs on it.
/// A backend provides one and installs it with `installMainQueue`. The thread that creates the
/// queue is the main thread.
class ZELVORA_API MainQueue {
 public:
  virtual ~MainQueue() = default;

  /// Runs `task` on the main thread after the tasks already posted. Safe from any thread.
  virtual void post(Task task) = 0;
  /// Runs `task` on the main thread once `seconds` have passed on the queue's clock.
  /// Main thread only.
  virtual TimerId postAfter(double seconds, Task task) = 0;
  /// Drops a timer that has not fired yet; unknown or fired ids are ignored.
  virtual void cancel(TimerId timer) = 0;

  /// Monotonic time of the queue's clock, in seconds.
  virtual double now() const = 0;
  /// Seconds since 1970-01-01 UTC, as the queue's clock tells it (a manual clock keeps
  /// wall time in step with `now()`, so recorded timestamps are deterministic in tests).
  virtual double wallTime() const = 0;

  /// Whether the caller runs on the main thread. Every check of the thread asks this: the
  /// SDK's and the C API's entry points refuse calls from any other.
  bool isMainThread() const { return std::this_thread::get_id() == mainThread_; }

 protected:
  MainQueue() : mainThread_(std::this_thread::get_id()) {}

 private:
  const std::thread::id mainThread_;
};

/// Makes `queue` the process's main queue (nullptr uninstalls). The backend calls this.
ZELVORA_API void installMainQueue(MainQueue* queue);
/// The installed main queue. Calling it with none installed is a programming error.
ZELVORA_API MainQueue& mainQueue();
ZELVORA_API bool hasMainQueue();
/// Posts `task` to the installed main queue; returns false (dropping the task) when no queue
/// is installed, so threads that outlive the queue never touch a destroyed one.
ZELVORA_API bool postToMainQueue(Task task);

}  // namespace zelvora::platform
