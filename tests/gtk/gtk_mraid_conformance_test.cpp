// An MRAID 3.0 conformance creative of our own, in WebKit with the real mraid.js: it checks in
// the page what MRAID promises (state machine, sizes before and after a forced turn, exposure
// under its own video, resize properties, error events) and reports each result through the
// bridge; the test plays the user who closes the video, and expects every check to pass.
#include <iostream>

#include "gtk/GtkSdkTest.h"
#include "gtk/UserPointer.h"
#include "zelvora/Log.h"
#include "zelvora/platform/media/PlayerViewController.h"

// Last: X11's macros would change the names above.
#include <gdk/gdkx.h>

namespace zelvora::test {
namespace {

constexpr const char* kBridgeLine = "Message received: mraidHostBridge with body: ";

class GtkMraidConformanceTest : public GtkSdkTest {
 protected:
  GtkMraidConformanceTest() {
    setLogSink([this](std::string_view line) {
      if (line.rfind(kBridgeLine, 0) != 0) return;
      const JSON body =
          JSON::parse(line.substr(std::string_view(kBridgeLine).size()), nullptr, false);
      if (!body.is_object()) return;
      if (body.value("name", "") == "conformance")
        results.push_back(JSON::parse(body.value("params", ""), nullptr, false));
      else if (body.value("name", "") == "conformance-done")
        announced = std::stoi(body.value("params", "0"));
    });
  }
  ~GtkMraidConformanceTest() override { setLogSink(nullptr); }

  std::vector<JSON> results;
  int announced = -1;
};

TEST_F(GtkMraidConformanceTest, EveryCheckOfTheConformanceCreativePassesInWebKit) {
  const auto creative = readFile(fs::path(ZELVORA_TEST_CREATIVES_DIR) / "mraid_conformance.html");
  initializeWith({{"isMraid", true}, {"markup", creative}, {"imp", "{server}/t/imp?ad=h"}},
                 "mraidTag");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdReady:p"); }));
  sdk().showAd(platform.rootViewController(), "p");
  ASSERT_TRUE(runUntil([&] { return delegate->has("onAdShown:p"); }));

  // The creative plays its video; the user closes it with the player's own button.
  ASSERT_TRUE(runUntil([&] {
    return std::dynamic_pointer_cast<platform::PlayerViewController>(
               platform.window()->topViewController()) != nullptr;
  })) << "the creative's video did not come";
  platform.mainQueue().runUntil([] { return false; }, 1);  // the player's controls are drawn
  const auto done = find(platform.window(), "player-done");
  ASSERT_TRUE(done);
  clickOn(platform, *done);

  ASSERT_TRUE(runUntil([&] { return announced >= 0; }, 60)) << results.size() << " results";
  EXPECT_TRUE(runUntil([&] { return delegate->has("onAdClose:p"); })) << "it closes itself";
  EXPECT_EQ(static_cast<int>(results.size()), announced);
  EXPECT_GE(results.size(), 30u);
  for (const auto& result : results) {
    std::cout << (result.value("pass", false) ? "PASS " : "FAIL ") << result.value("name", "?")
              << ": " << result.value("detail", "") << "\n";
    EXPECT_TRUE(result.value("pass", false)) << result.dump();
  }
}

}  // namespace
}  // namespace zelvora::test
