#include "zelvora/platform/headless/RunLoop.h"

#include <algorithm>
#include <chrono>

namespace zelvora::platform::headless {

RunLoop::RunLoop(ClockMode mode, double manualEpoch)
    : mode_(mode), manualEpoch_(manualEpoch), realStart_(Clock::now()) {}

RunLoop::~RunLoop() = default;

void RunLoop::post(Task task) {
  {
    MutexLock lock(mutex_);
    posted_.push_back(std::move(task));
  }
  wake_.notify_one();
}

TimerId RunLoop::postAfter(double seconds, Task task) {
  const TimerId id = nextTimer_++;
  timers_.emplace(now() + std::max(0.0, seconds), Timer{id, std::move(task)});
  return id;
}

void RunLoop::cancel(TimerId timer) {
  auto it = std::find_if(timers_.begin(), timers_.end(),
                         [timer](const auto& entry) { return entry.second.id == timer; });
  if (it != timers_.end()) timers_.erase(it);
}

double RunLoop::now() const {
  if (mode_ == ClockMode::manual) return manualNow_;
  return std::chrono::duration<double>(Clock::now() - realStart_).count();
}

double RunLoop::wallTime() const {
  if (mode_ == ClockMode::manual) return manualEpoch_ + manualNow_;
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void RunLoop::runTimed(Task& task) {
  const auto start = Clock::now();
  task();
  longestTask_ =
      std::max(longestTask_, std::chrono::duration<double>(Clock::now() - start).count());
}

bool RunLoop::runOne() {
  Task task;
  {
    MutexLock lock(mutex_);
    if (!posted_.empty()) {
      task = std::move(posted_.front());
      posted_.pop_front();
    }
  }
  if (!task && !timers_.empty() && timers_.begin()->first <= now()) {
    task = std::move(timers_.begin()->second.task);
    timers_.erase(timers_.begin());
  }
  if (!task) return false;
  runTimed(task);
  return true;
}

std::optional<double> RunLoop::nextDeadline() const {
  if (timers_.empty()) return std::nullopt;
  return timers_.begin()->first;
}

std::size_t RunLoop::pump() {
  std::size_t count = 0;
  while (runOne()) ++count;
  return count;
}

void RunLoop::run() {
  stopped_ = false;
  while (!stopped_) {
    runUntil([this] { return stopped_.load(); }, 3600);
  }
}

void RunLoop::quit() {
  {
    // Set under the lock: a waiter that has just found it unset, and not slept yet, would
    // miss a wake sent without it and sleep on until its deadline (an hour, in run()).
    MutexLock lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_one();
}

bool RunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(timeoutSeconds));
  while (true) {
    while (!done() && runOne()) {
    }
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    // Sleep until a post arrives, the next real-clock timer is due, or the time-out.
    auto wakeAt = deadline;
    if (auto next = nextDeadline(); next && mode_ == ClockMode::real) {
      wakeAt = std::min(wakeAt, realStart_ + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(*next)));
    }
    MutexLock lock(mutex_);
    while (posted_.empty() && !stopped_ && lock.waitUntil(wake_, wakeAt)) {
    }
  }
}

void RunLoop::advance(double seconds) {
  const double target = manualNow_ + std::max(0.0, seconds);
  pump();
  while (auto next = nextDeadline()) {
    if (*next > target) break;
    manualNow_ = std::max(manualNow_, *next);
    pump();
  }
  manualNow_ = target;
  pump();
}

void RunLoop::shiftWallClock(double seconds) {
  manualEpoch_ += seconds;
}

}  // namespace zelvora::platform::headless
