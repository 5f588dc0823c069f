// The SDK's side of the page contract of mraid.js: the scripts a creative's page is given in
// each scenario, compared with the fixtures the library's tests replay (tests/mraid_js). A
// change of the SDK's scripts fails here; a change of the library that the scripts do not
// suit fails there. Re-record with scripts/record-mraid-fixtures.
#include <cstdlib>

#include "html/HtmlAdTest.h"

namespace zelvora::test {
namespace {

using namespace platform;

/// Stands for the library's text in the recorded initial data.
constexpr const char* kLibraryMarker = "/* mraid.js */";

class MraidPageContractTest : public HtmlAdTest {
 protected:
  MraidPageContractTest() { writeFile(assets / "mraid.js", kLibraryMarker); }

  /// Runs `action` and records what it gave the page under `what`.
  void step(const std::string& what, const std::function<void()>& action, JSON message = {}) {
    action();
    JSON entry = {{"do", what}};
    if (!message.is_null()) entry["posted"] = std::move(message);
    JSON scripts = JSON::array();
    const auto& journal = page_->journal();
    for (; seen_ < journal.size(); ++seen_) {
      const auto& record = journal[seen_];
      if (record.kind == PageRecord::Kind::document) continue;  // the creative's markup
      scripts.push_back({{"kind", record.kind == PageRecord::Kind::request      ? "request"
                                  : record.kind == PageRecord::Kind::userScript ? "userScript"
                                                                                : "script"},
                         {"text", record.text}});
    }
    entry["scripts"] = std::move(scripts);
    steps_.push_back(std::move(entry));
  }
  /// The page posts `message` to the bridge, as the library does for a creative's call.
  void post(const JSON& message) {
    step(
        "post", [&] { driver.postMessage(page_, "mraidHostBridge", message); }, message);
    runLoop().advance(0.3);
  }
  void load() {
    initializeWith(mraidData(), "mraidTag");
    ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
    page_ = ad()->webView;
    step("load", [&] { driver.finishLoading(page_); });
  }
  void showAd() {
    step("show", [&] { show(); });
  }

  /// Compares the steps with the fixture `name`, or records them when asked to.
  void expectFixture(const std::string& name) {
    const fs::path file = fs::path(ZELVORA_MRAID_FIXTURES_DIR) / (name + ".json");
    const JSON recorded = {{"scenario", name}, {"library", kLibraryMarker}, {"steps", steps_}};
    if (std::getenv("ZELVORA_RECORD_MRAID_FIXTURES")) {
      writeFile(file, recorded.dump(2) + "\n");
      return;
    }
    ASSERT_TRUE(fs::exists(file)) << file << ": record it with scripts/record-mraid-fixtures";
    EXPECT_EQ(JSON::parse(readFile(file)), recorded)
        << "the page is given other scripts than " << file
        << " holds: run the mraid.js tests on a new recording (scripts/record-mraid-fixtures)";
  }

  std::shared_ptr<platform::WebView> page_;

 private:
  std::size_t seen_ = 0;
  JSON steps_ = JSON::array();
};

TEST_F(MraidPageContractTest, Preload) {
  load();
  expectFixture("preload");
}

TEST_F(MraidPageContractTest, Show) {
  load();
  showAd();
  step("tap close", [&] {
    driver.tap(driver.findById("close"));
    runLoop().advance(0.3);
  });
  expectFixture("show");
}

TEST_F(MraidPageContractTest, Rotation) {
  load();
  showAd();
  step("rotate landscape", [&] { driver.rotate(InterfaceOrientation::landscapeLeft); });
  step("rotate portrait", [&] { driver.rotate(InterfaceOrientation::portrait); });
  post({{"name", "setOrientationProperties"},
        {"params", {{"allowOrientationChange", false}, {"forceOrientation", "landscape"}}}});
  post({{"name", "setOrientationProperties"},
        {"params", {{"allowOrientationChange", true}, {"forceOrientation", "none"}}}});
  expectFixture("rotation");
}

TEST_F(MraidPageContractTest, CreativesVideo) {
  load();
  showAd();
  post({{"name", "playVideo"}, {"params", "https://x.test/clip.webm"}});
  step("tap player-done", [&] {
    driver.tap(driver.findById("player-done"));
    runLoop().advance(0.3);
  });
  step("background", [&] { driver.sendToBackground(); });
  step("foreground", [&] { driver.bringToForeground(); });
  expectFixture("video");
}

TEST_F(MraidPageContractTest, Close) {
  load();
  showAd();
  post({{"name", "close"}});
  expectFixture("close");
}

TEST_F(MraidPageContractTest, Fallback) {
  initializeWith(mraidData(), "mraidTag");
  ASSERT_TRUE(runUntil([&] { return ad()->webView != nullptr; }));
  page_ = ad()->webView;
  // The creative gives up while its document is parsed.
  step("commit", [&] {
    driver.playNavigation(page_,
                          {headless::NavigationStep::start(), headless::NavigationStep::commit()});
  });
  post({{"name", "fallback"}});
  step("finish", [&] { driver.playNavigation(page_, {headless::NavigationStep::finish()}); });
  expectFixture("fallback");
}

TEST_F(MraidPageContractTest, Unload) {
  load();
  showAd();
  post({{"name", "unload"}});
  expectFixture("unload");
}

}  // namespace
}  // namespace zelvora::test
