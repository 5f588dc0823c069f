#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "zelvora/platform/ThreadAnnotations.h"

namespace zelvora::platform {

/// A std::mutex the thread-safety analysis knows as a lock, for members and variables to name
/// in ZELVORA_GUARDED_BY. Constant-initialised, so a global one is ready before any constructor
/// of another file's globals runs.
class ZELVORA_CAPABILITY("mutex") Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() ZELVORA_ACQUIRE() { mutex_.lock(); }
  void unlock() ZELVORA_RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

/// Holds a Mutex for its scope. Condition waits go through it, so that the analysis sees the
/// waiter's condition read with the mutex held: callers wait in a loop of their own,
///   while (!ready_) lock.wait(changed_);
/// instead of handing the condition variable a predicate, which would be a lambda the analysis
/// checks as a function that holds nothing.
class ZELVORA_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ZELVORA_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() ZELVORA_RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  /// Releases the mutex until `condition` is notified (or wakes spuriously), then holds it
  /// again.
  void wait(std::condition_variable& condition) { condition.wait(lock_); }
  /// As `wait`, giving up at `deadline`; false when the deadline passed.
  template <class Clock, class Duration>
  bool waitUntil(std::condition_variable& condition,
                 const std::chrono::time_point<Clock, Duration>& deadline) {
    return condition.wait_until(lock_, deadline) == std::cv_status::no_timeout;
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace zelvora::platform
