#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/RunLoop.h"

namespace zelvora::platform::headless {
namespace {

/// Records "name@tenths of a second" for each task that runs.
struct Trace {
  RunLoop& loop;
  std::vector<std::string> entries;
  Task record(const std::string& name) {
    return [this, name] { entries.push_back(name + "@" + std::to_string(int(loop.now() * 10))); };
  }
};

// The manual clock: timers fire in deadline order, only when advance() reaches them, also
// those set by other timers; the wall time follows; waiting in real time moves nothing.
TEST(RunLoopTest, ManualClockTimers) {
  RunLoop loop(ClockMode::manual, 1000.0);
  Trace trace{loop, {}};
  loop.postAfter(3, trace.record("c"));
  loop.postAfter(1, [&] {
    trace.record("a")();
    loop.postAfter(1.5, trace.record("inner"));
    loop.post(trace.record("posted"));
  });
  loop.postAfter(2, trace.record("b1"));
  loop.postAfter(2, trace.record("b2"));
  loop.postAfter(-5, trace.record("now"));

  EXPECT_EQ(loop.pump(), 1u);
  EXPECT_FALSE(loop.runUntil([&] { return trace.entries.size() > 1; }, 0.05));
  loop.advance(2);
  EXPECT_EQ(trace.entries,
            (std::vector<std::string>{"now@0", "a@10", "posted@10", "b1@20", "b2@20"}));
  EXPECT_DOUBLE_EQ(loop.wallTime(), 1002);
  loop.advance(10);
  EXPECT_EQ(trace.entries.back(), "c@30");
  EXPECT_EQ(trace.entries[5], "inner@25");
  EXPECT_DOUBLE_EQ(loop.now(), 12);
}

TEST(RunLoopTest, CancelDropsOnlyPendingTimers) {
  RunLoop loop(ClockMode::manual);
  Trace trace{loop, {}};
  const TimerId dropped = loop.postAfter(1, trace.record("dropped"));
  const TimerId kept = loop.postAfter(1, trace.record("kept"));
  // A timer may cancel another one that is due at the same time.
  TimerId later = 0;
  loop.postAfter(0.5, [&] { loop.cancel(later); });
  later = loop.postAfter(0.5, trace.record("later"));
  loop.cancel(dropped);
  loop.cancel(999);  // unknown: ignored
  loop.advance(2);
  loop.cancel(kept);  // already fired: ignored
  EXPECT_EQ(trace.entries, std::vector<std::string>{"kept@10"});
}

TEST(RunLoopTest, TasksFromOtherThreadsRunOnTheMainThreadInOrder) {
  RunLoop loop(ClockMode::manual);
  std::vector<int> order;
  bool allOnMain = true;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i)
      loop.post([&, i] {
        allOnMain = allOnMain && loop.isMainThread();
        order.push_back(i);
      });
  });
  EXPECT_TRUE(loop.runUntil([&] { return order.size() == 100; }, 20));
  worker.join();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(order[i], i);
  EXPECT_TRUE(allOnMain);
}

// A completion that outlives the platform is dropped, not posted to a destroyed queue.
TEST(RunLoopTest, PlatformInstallsAndRemovesTheMainQueue) {
  {
    HeadlessPlatform platform({}, ClockMode::manual);
    EXPECT_EQ(&mainQueue(), &platform.runLoop());
  }
  EXPECT_FALSE(hasMainQueue());
  EXPECT_FALSE(postToMainQueue([] {}));
}

}  // namespace
}  // namespace zelvora::platform::headless
