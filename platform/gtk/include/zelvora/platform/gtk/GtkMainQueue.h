#pragma once

#include <glib.h>

#include <deque>
#include <functional>
#include <map>

#include "zelvora/Export.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/Mutex.h"

namespace zelvora::platform::gtk {

/// The main queue on GLib's default main context, the one GTK dispatches its events on. The
/// thread that creates it is the main thread. Posted tasks run in the order they were posted,
/// at the default priority (beside input events, before redraws); timers are GLib timeouts
/// with millisecond precision that never fire early. The clock is the monotonic one, counted
/// from the queue's creation. Work still pending when the queue is destroyed is dropped.
class ZELVORA_API GtkMainQueue final : public RunnableQueue {
 public:
  GtkMainQueue();
  ~GtkMainQueue() override;
  GtkMainQueue(const GtkMainQueue&) = delete;
  GtkMainQueue& operator=(const GtkMainQueue&) = delete;

  void post(Task task) ZELVORA_EXCLUDES(mutex_) override;
  TimerId postAfter(double seconds, Task task) override;
  void cancel(TimerId timer) override;
  double now() const override;
  double wallTime() const override;

  /// Runs the default main context until `quit()`.
  void run() override;
  void quit() override;
  /// Main thread only.
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds = 10) override;
  /// Dispatches what the default main context has ready (GTK's events and redraws too) until
  /// nothing is, without waiting; returns how many turns dispatched something.
  std::size_t pump() override;

 private:
  struct Timer {
    GSource* source;
    Task task;
  };
  struct TimerKey {
    GtkMainQueue* queue;
    TimerId id;
  };

  static gboolean runPosted(gpointer self);
  static gboolean fire(gpointer key);

  const gint64 start_;
  GMainLoop* const loop_;

  Mutex mutex_;
  std::deque<Task> posted_ ZELVORA_GUARDED_BY(mutex_);
  /// Ready while `posted_` holds tasks.
  GSource* postedSource_;

  std::map<TimerId, Timer> timers_;  // main thread only
  TimerId nextTimer_ = 1;
};

}  // namespace zelvora::platform::gtk
