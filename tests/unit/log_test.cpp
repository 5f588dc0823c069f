// Console lines: their levels, the log level, and sinks called from several threads.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "ControllerAccess.h"
#include "support/SdkTest.h"
#include "zelvora/Log.h"

namespace zelvora::test {
namespace {

class LogTest : public SdkTest {
 protected:
  /// Records "<level>:<line>" from here on.
  void recordLevels() {
    setLevelLogSink([this](LogLevel level, std::string_view line) {
      leveled.push_back(std::to_string(static_cast<int>(level)) + ":" + std::string(line));
    });
  }
  std::vector<std::string> leveled;
};

// The trace of events is at trace level, a refused call at error level; each level silences
// what is less important, and the lines keep their text.
TEST_F(LogTest, LevelsFilterAndTheTraceCanBeSilenced) {
  recordLevels();
  const auto speak = [&] {
    internal::ControllerAccess::triggerPlacementEvent(Event::adReady, "p1");
    sdk().showAd(platform_->rootViewController(), "p1");
    log(LogLevel::warning, "a warning");
    log("an info line");
  };
  speak();
  EXPECT_EQ(leveled, (std::vector<std::string>{"3:ZelController: onAdReady for placement p1",
                                               "0:ZelvoraFramework - SDK is not initialized",
                                               "1:a warning", "2:an info line"}));
  leveled.clear();
  setLogLevel(LogLevel::info);
  speak();
  EXPECT_EQ(leveled, (std::vector<std::string>{"0:ZelvoraFramework - SDK is not initialized",
                                               "1:a warning", "2:an info line"}));
  leveled.clear();
  setLogLevel(LogLevel::error);
  speak();
  EXPECT_EQ(leveled, (std::vector<std::string>{"0:ZelvoraFramework - SDK is not initialized"}));
  // Silenced lines still reach the host's delegate as events.
  EXPECT_EQ(delegate->events, (std::vector<std::string>(3, "onAdReady:p1")));
}

// A sink that logs itself, called from two threads at once: no deadlock, every line arrives
// once, and the sink's own lines go to standard output instead of back into it.
TEST_F(LogTest, SinkThatLogsFromTwoThreads) {
  std::atomic<int> received = 0;
  setLogSink([&](std::string_view line) {
    ++received;
    log("sink saw: " + std::string(line));
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) log(LogLevel::trace, "line " + std::to_string(i));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(received, 400);
}

// Replacing the sink waits until its calls on other threads have ended, so its owner may go
// right afterwards; a sink may replace itself.
TEST_F(LogTest, ReplacingTheSinkWaitsForItsRunningCalls) {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false, release = false, replaced = false;
  setLogSink([&](std::string_view) {
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  });
  std::thread logging([] { log("held"); });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return entered; });
  }
  std::thread replacing([&] {
    setLogSink(nullptr);
    std::lock_guard lock(mutex);
    replaced = true;
  });
  // The replacement is not done while the sink runs; once it returns, it is.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  {
    std::lock_guard lock(mutex);
    EXPECT_FALSE(replaced);
    release = true;
    changed.notify_all();
  }
  logging.join();
  replacing.join();
  EXPECT_TRUE(replaced);

  int calls = 0;
  setLogSink([&](std::string_view) {
    ++calls;
    setLogSink(nullptr);
  });
  log("once");
  log("to standard output");
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace zelvora::test
