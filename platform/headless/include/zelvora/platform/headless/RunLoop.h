#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "zelvora/Export.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/Mutex.h"

namespace zelvora::platform::headless {

enum class ClockMode {
  /// Timers fire on the real monotonic clock.
  real,
  /// Time stands still until `advance` moves it, so tests run timers without sleeping.
  /// Tasks posted from other threads still arrive in real time.
  manual,
};

/// The headless backend's main queue. The thread that creates it is the main thread.
class ZELVORA_API RunLoop final : public RunnableQueue {
 public:
  /// `manualEpoch` is the wall time (seconds since 1970) at which a manual clock starts.
  explicit RunLoop(ClockMode mode = ClockMode::real, double manualEpoch = 1.7e9);
  ~RunLoop() override;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  void post(Task task) ZELVORA_EXCLUDES(mutex_) override;
  TimerId postAfter(double seconds, Task task) override;
  void cancel(TimerId timer) override;
  double now() const override;
  double wallTime() const override;

  ClockMode clockMode() const { return mode_; }

  void run() override;
  void quit() ZELVORA_EXCLUDES(mutex_) override;
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds = 10)
      ZELVORA_EXCLUDES(mutex_) override;
  /// Runs every task that is due now (those they post included), without waiting.
  std::size_t pump() override;
  /// Manual clock: moves time forward by `seconds`, running each timer at its due time.
  void advance(double seconds);
  /// Manual clock: sets the wall clock alone `seconds` ahead (behind when negative), as a user or
  /// a time service setting the system's time does; `now()` and the timers are untouched.
  void shiftWallClock(double seconds);
  /// When the earliest timer is due, on `now()`'s clock, if any: a test that must act between
  /// timers advances to each in turn.
  std::optional<double> nextDeadline() const;

  /// The longest time one task took since the last reset, in seconds of real time.
  double longestTaskSeconds() const { return longestTask_; }
  void resetTaskStatistics() { longestTask_ = 0; }

 private:
  struct Timer {
    TimerId id;
    Task task;
  };
  using Clock = std::chrono::steady_clock;

  /// Runs one due task; returns false when none is due.
  bool runOne() ZELVORA_EXCLUDES(mutex_);
  void runTimed(Task& task);

  const ClockMode mode_;
  double manualEpoch_;
  const Clock::time_point realStart_;
  double manualNow_ = 0;
  std::atomic<bool> stopped_ = false;

  Mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> posted_ ZELVORA_GUARDED_BY(mutex_);

  std::multimap<double, Timer> timers_;  // main thread only
  TimerId nextTimer_ = 1;
  double longestTask_ = 0;
};

}  // namespace zelvora::platform::headless
