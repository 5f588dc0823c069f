#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "zelvora/platform/gtk/GtkMainQueue.h"

using zelvora::platform::gtk::GtkMainQueue;

TEST(GtkMainQueue, RunsTasksPostedFromAnotherThreadOnTheMainThreadInOrder) {
  GtkMainQueue queue;
  std::vector<int> order;
  bool allOnMainThread = true;
  std::thread worker([&] {
    allOnMainThread = !queue.isMainThread();
    for (int i = 0; i < 200; ++i) {
      queue.post([&, i] {
        allOnMainThread = allOnMainThread && queue.isMainThread();
        order.push_back(i);
      });
    }
  });
  ASSERT_TRUE(queue.runUntil([&] { return order.size() == 200; }, 5));
  worker.join();
  EXPECT_TRUE(allOnMainThread);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);

  // run() lasts until quit(), which may come from any thread.
  queue.postAfter(0.01, [&] { std::thread([&] { queue.quit(); }).join(); });
  queue.run();
}

TEST(GtkMainQueue, FiresTimersInTheOrderOfTheirTimeNeverEarlyAndNotOnceCancelled) {
  GtkMainQueue queue;
  std::vector<std::string> fired;
  const double start = queue.now();
  double lateAt = 0;
  queue.postAfter(0.06, [&] {
    fired.push_back("late");
    lateAt = queue.now();
  });
  const auto cancelled = queue.postAfter(0.02, [&] { fired.push_back("cancelled"); });
  const auto cancelledByTimer = queue.postAfter(0.05, [&] { fired.push_back("cancelled later"); });
  queue.postAfter(0.03, [&] {
    fired.push_back("middle");
    queue.cancel(cancelledByTimer);
  });
  queue.postAfter(0, [&] { fired.push_back("now"); });
  queue.cancel(cancelled);
  queue.cancel(cancelled);
  queue.cancel(9999);

  ASSERT_TRUE(queue.runUntil([&] { return fired.size() == 3; }, 5));
  EXPECT_FALSE(queue.runUntil([&] { return fired.size() > 3; }, 0.05));
  EXPECT_EQ(fired, (std::vector<std::string>{"now", "middle", "late"}));
  EXPECT_GE(lateAt - start, 0.06);
  EXPECT_NEAR(queue.wallTime(), static_cast<double>(std::time(nullptr)), 2);
}

TEST(GtkMainQueue, DropsWhatIsPendingWhenDestroyed) {
  int ran = 0;
  {
    GtkMainQueue queue;
    queue.post([&] { ++ran; });
    queue.postAfter(0.01, [&] { ++ran; });
  }
  GtkMainQueue next;
  next.runUntil([] { return false; }, 0.05);
  EXPECT_EQ(ran, 0);
}

// A host with a loop of its own pumps once a frame: what is due runs inside the call, tasks that
// posted tasks and a timer now due included; a pump with nothing due returns at once.
TEST(GtkMainQueue, PumpRunsEverythingDueInsideTheCallWithoutWaiting) {
  GtkMainQueue queue;
  std::vector<std::string> ran;
  std::thread([&] {
    queue.post([&] {
      ran.push_back("posted");
      queue.post([&] { ran.push_back("posted by a task"); });
    });
  }).join();
  queue.postAfter(0, [&] { ran.push_back("timer"); });
  EXPECT_GT(queue.pump(), 0u);
  EXPECT_EQ(ran, (std::vector<std::string>{"posted", "timer", "posted by a task"}));
  EXPECT_EQ(queue.pump(), 0u);
  queue.postAfter(60, [&] { ran.push_back("later"); });
  EXPECT_EQ(queue.pump(), 0u);
  EXPECT_EQ(ran.size(), 3u);
}
