#include "zelvora/platform/gtk/GtkMainQueue.h"

#include <cmath>
#include <limits>

namespace zelvora::platform::gtk {
namespace {

/// A source with no readiness of its own: its ready time says when it runs.
gboolean dispatchCallback(GSource*, GSourceFunc callback, gpointer data) {
  return callback(data);
}
GSourceFuncs postedFuncs = {nullptr, nullptr, dispatchCallback, nullptr, nullptr, nullptr};

constexpr gint64 readyNow = 0;
constexpr gint64 never = -1;

}  // namespace

GtkMainQueue::GtkMainQueue()
    : start_(g_get_monotonic_time()),
      loop_(g_main_loop_new(nullptr, FALSE)),
      postedSource_(g_source_new(&postedFuncs, sizeof(GSource))) {
  g_source_set_callback(postedSource_, &GtkMainQueue::runPosted, this, nullptr);
  g_source_set_ready_time(postedSource_, never);
  // A task that runs the loop itself (waiting for something) still gets the later tasks.
  g_source_set_can_recurse(postedSource_, TRUE);
  g_source_attach(postedSource_, nullptr);
}

GtkMainQueue::~GtkMainQueue() {
  {
    MutexLock lock(mutex_);
    g_source_destroy(postedSource_);
    g_source_unref(postedSource_);
    posted_.clear();
  }
  for (auto& [id, timer] : timers_) {
    g_source_destroy(timer.source);
    g_source_unref(timer.source);
  }
  g_main_loop_unref(loop_);
}

void GtkMainQueue::post(Task task) {
  MutexLock lock(mutex_);
  posted_.push_back(std::move(task));
  // Thread-safe, and wakes the main context up.
  if (posted_.size() == 1) g_source_set_ready_time(postedSource_, readyNow);
}

gboolean GtkMainQueue::runPosted(gpointer self) {
  auto& queue = *static_cast<GtkMainQueue*>(self);
  // Only the tasks already there: those they post wait for the next turn, after input events.
  std::size_t count;
  {
    MutexLock lock(queue.mutex_);
    count = queue.posted_.size();
  }
  for (; count > 0; --count) {
    Task task;
    {
      MutexLock lock(queue.mutex_);
      if (queue.posted_.empty()) break;
      task = std::move(queue.posted_.front());
      queue.posted_.pop_front();
      if (queue.posted_.empty()) g_source_set_ready_time(queue.postedSource_, never);
    }
    task();
  }
  return G_SOURCE_CONTINUE;
}

TimerId GtkMainQueue::postAfter(double seconds, Task task) {
  const TimerId id = nextTimer_++;
  // Rounded up, so that a timer never fires before its time on `now()`.
  const double milliseconds = std::ceil(std::max(0.0, seconds) * 1000);
  const auto interval = static_cast<guint>(
      std::min(milliseconds, static_cast<double>(std::numeric_limits<guint>::max())));
  GSource* source = g_timeout_source_new(interval);
  g_source_set_callback(source, &GtkMainQueue::fire, new TimerKey{this, id},
                        [](gpointer key) { delete static_cast<TimerKey*>(key); });
  timers_.emplace(id, Timer{source, std::move(task)});
  g_source_attach(source, nullptr);
  return id;
}

gboolean GtkMainQueue::fire(gpointer key) {
  auto [queue, id] = *static_cast<TimerKey*>(key);
  auto it = queue->timers_.find(id);
  if (it == queue->timers_.end()) return G_SOURCE_REMOVE;
  Task task = std::move(it->second.task);
  g_source_unref(it->second.source);
  queue->timers_.erase(it);
  task();
  return G_SOURCE_REMOVE;
}

void GtkMainQueue::cancel(TimerId timer) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return;
  g_source_destroy(it->second.source);
  g_source_unref(it->second.source);
  timers_.erase(it);
}

double GtkMainQueue::now() const {
  return static_cast<double>(g_get_monotonic_time() - start_) / G_USEC_PER_SEC;
}

double GtkMainQueue::wallTime() const {
  return static_cast<double>(g_get_real_time()) / G_USEC_PER_SEC;
}

void GtkMainQueue::run() {
  g_main_loop_run(loop_);
}

void GtkMainQueue::quit() {
  g_main_loop_quit(loop_);
}

std::size_t GtkMainQueue::pump() {
  // Bounded: a source that is always ready (an animation) must not hold the host's frame.
  constexpr std::size_t maxTurns = 1000;
  std::size_t turns = 0;
  while (turns < maxTurns && g_main_context_iteration(nullptr, FALSE)) ++turns;
  return turns;
}

bool GtkMainQueue::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  bool expired = false;
  const double milliseconds = std::ceil(std::max(0.0, timeoutSeconds) * 1000);
  GSource* deadline = g_timeout_source_new(static_cast<guint>(
      std::min(milliseconds, static_cast<double>(std::numeric_limits<guint>::max()))));
  g_source_set_callback(
      deadline,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &expired, nullptr);
  g_source_attach(deadline, nullptr);
  while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(deadline);
  g_source_unref(deadline);
  return done();
}

}  // namespace zelvora::platform::gtk
