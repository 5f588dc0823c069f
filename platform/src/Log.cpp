#include "zelvora/Log.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "zelvora/platform/Mutex.h"

namespace zelvora {
namespace {

// The sink runs without the lock held, so a sink that logs, or one that blocks on a thread
// that is logging, cannot deadlock. `running` counts the calls in progress, so that replacing
// a sink can wait for them to end before the sink's owner goes away. The lock and the installed
// sink are constant-initialised: a line logged while another file's globals are constructed
// finds them ready.
platform::Mutex sinkMutex;

struct Installed {
  LevelLogSink sink;
  int running ZELVORA_GUARDED_BY(sinkMutex) = 0;
};

std::shared_ptr<Installed> installed ZELVORA_GUARDED_BY(sinkMutex);

std::condition_variable& sinkIdle() {
  static std::condition_variable idle;
  return idle;
}
std::atomic<int>& maximumLevel() {
  static std::atomic<int> level{static_cast<int>(LogLevel::trace)};
  return level;
}
// Inside a sink call on this thread: its own lines bypass the sink (which would recurse).
thread_local bool insideSink = false;

void writeToStandardOutput(std::string text) {
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

void log(LogLevel level, std::string_view line) {
  if (static_cast<int>(level) > maximumLevel().load(std::memory_order_relaxed)) return;
  std::string text(line);
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::shared_ptr<Installed> target;
  if (!insideSink) {
    platform::MutexLock lock(sinkMutex);
    target = installed;
    if (target) ++target->running;
  }
  if (!target) {
    writeToStandardOutput(std::move(text));
    return;
  }
  insideSink = true;
  struct Done {
    Installed& target;
    ~Done() {
      insideSink = false;
      platform::MutexLock lock(sinkMutex);
      if (--target.running == 0) sinkIdle().notify_all();
    }
  } done{*target};
  target->sink(level, text);
}

void log(std::string_view line) {
  log(LogLevel::info, line);
}

void setLevelLogSink(LevelLogSink sink) {
  auto next = sink ? std::make_shared<Installed>(Installed{std::move(sink)}) : nullptr;
  platform::MutexLock lock(sinkMutex);
  auto previous = std::exchange(installed, std::move(next));
  // A sink replacing itself would wait for its own call.
  if (previous && !insideSink) {
    while (previous->running != 0) lock.wait(sinkIdle());
  }
}

void setLogSink(LogSink sink) {
  if (!sink) return setLevelLogSink(nullptr);
  setLevelLogSink([sink = std::move(sink)](LogLevel, std::string_view line) { sink(line); });
}

void setLogLevel(LogLevel level) {
  maximumLevel() = static_cast<int>(level);
}

LogLevel logLevel() {
  return static_cast<LogLevel>(maximumLevel().load());
}

}  // namespace zelvora
