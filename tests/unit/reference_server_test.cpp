#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "zelvora/server/ReferenceServer.h"

namespace zelvora::server {
namespace {

// Tests stop their server as soon as they are done, often before it served anything.
TEST(ReferenceServerTest, StopsRightAfterStart) {
  // A server whose stop() hangs cannot be destroyed, not even at exit: leave it alive.
  static std::vector<ReferenceServer*> stuck;
  for (int attempt = 0; attempt < 20; ++attempt) {
    auto server = std::make_unique<ReferenceServer>(ServerOptions{});
    ASSERT_GT(server->start(), 0);
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    std::thread([raw = server.get(), stopped] {
      raw->stop();
      *stopped = true;
    }).detach();
    for (int wait = 0; wait < 1000 && !*stopped; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!*stopped) {
      stuck.push_back(server.release());
      FAIL() << "stop() did not return on attempt " << attempt;
    }
  }
}

}  // namespace
}  // namespace zelvora::server
