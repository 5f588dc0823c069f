// The C API as a C host uses it, against the reference server: its error paths, each with a
// status and a message, the consent record in the caller's buffer, and the callbacks, which
// run on the main thread only.

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/CHostTest.h"
#include "support/LoopbackServer.h"
#include "zelvora/platform/HostEnvironment.h"

namespace zelvora::test {
namespace {

/// What the callbacks saw, and on which threads.
struct Seen {
  std::vector<std::string> events;
  std::vector<std::thread::id> threads;
  void record(const std::string& event) {
    events.push_back(event);
    threads.push_back(std::this_thread::get_id());
  }
  bool has(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }
};

Seen& seen(void* user) {
  return *static_cast<Seen*>(user);
}

zelvora_callbacks recordingCallbacks() {
  zelvora_callbacks callbacks{};
  callbacks.on_init = [](const char* const* ids, size_t count, void* user) {
    std::string list;
    for (size_t i = 0; i < count; ++i) list += (i ? "," : "") + std::string(ids[i]);
    seen(user).record("init:[" + list + "]");
  };
  callbacks.on_init_error = [](zelvora_status reason, const char*, void* user) {
    seen(user).record("init_error:" + std::to_string(reason));
  };
  callbacks.on_ad_ready = [](const char* id, void* user) {
    seen(user).record("ready:" + std::string(id));
  };
  callbacks.on_ad_shown = [](const char* id, void* user) {
    seen(user).record("shown:" + std::string(id));
  };
  callbacks.on_ad_close = [](const char* id, void* user) {
    seen(user).record("close:" + std::string(id));
  };
  callbacks.on_ad_failed_to_show = [](const char* id, zelvora_status reason, const char*,
                                      void* user) {
    seen(user).record("failed:" + std::string(id) + ":" + std::to_string(reason));
  };
  return callbacks;
}

/// "p" becomes ready; "never"'s image does not exist, so it never does; "vast" holds a broken
/// VAST document.
JSON campaigns() {
  const auto banner = [](const std::string& id, const std::string& image) {
    return JSON::array({adObject(id, "banner", {{"ctv", "{server}/assets/" + image}})});
  };
  return campaignsFor(
      "app",
      {{"p", placementObject("enabled", banner("b1", "sample-banner.png"))},
       {"never", placementObject("enabled", banner("b2", "missing.png"))},
       {"vast", placementObject("enabled", JSON::array({adObject("v1", "videoVast",
                                                                 {{"vastXml", "<VAST"}})}))}});
}

class CApiTest : public CHostTest {
 protected:
  CApiTest() : CHostTest(campaigns(), fs::path(ZELVORA_SERVER_DATA_DIR) / "assets") {}

  void createPlatform() {
    ASSERT_EQ(zelvora_platform_create_headless(&environment, &platform), ZELVORA_OK);
    internal::resetProcessState();
    ASSERT_EQ(zelvora_set_server(server->endpointUrl().c_str(), nullptr, 10), ZELVORA_OK);
    const auto callbacks = recordingCallbacks();
    ASSERT_EQ(zelvora_set_callbacks(&callbacks, &events), ZELVORA_OK);
  }
  bool runUntil(const std::function<bool()>& done) {
    for (int slice = 0; slice < 200 && !done(); ++slice) zelvora_platform_run_for(platform, 0.05);
    return done();
  }

  Seen events;
};

// Every refusal has its status and a message; a success clears the message.
TEST_F(CApiTest, ErrorPathsEachWithItsMessage) {
  const auto refused = [](zelvora_status status, zelvora_status expected) {
    EXPECT_EQ(status, expected);
    EXPECT_STRNE(zelvora_last_error(), "");
  };
  refused(zelvora_initialize("app"), ZELVORA_ERROR_NO_PLATFORM);
  refused(zelvora_initialize(nullptr), ZELVORA_ERROR_INVALID_ARGUMENT);
  // Web content limits reach the next platform.
  ASSERT_EQ(zelvora_set_web_content_limits(512, 2, ZELVORA_WEB_SANDBOX_OFF), ZELVORA_OK);
  createPlatform();
  const auto limits = platform::hostEnvironment().webContent;
  EXPECT_EQ(limits.memoryMiB, 512u);
  EXPECT_EQ(limits.unresponsiveSeconds, 2);
  EXPECT_EQ(limits.sandbox, platform::WebSandbox::off);
  ASSERT_EQ(zelvora_set_web_content_limits(1024, 0, ZELVORA_WEB_SANDBOX_PREFERRED), ZELVORA_OK);
  zelvora_platform* second = nullptr;
  refused(zelvora_platform_create_headless(&environment, &second), ZELVORA_ERROR_PLATFORM);
  EXPECT_EQ(second, nullptr);
#ifndef ZELVORA_HAS_GTK
  refused(zelvora_platform_create_gtk_window(nullptr, &second), ZELVORA_ERROR_UNSUPPORTED);
#endif
  refused(zelvora_show_ad(platform, "p"), ZELVORA_ERROR_NOT_INITIALIZED);
  refused(zelvora_show_ad(reinterpret_cast<zelvora_platform*>(&events), "p"),
          ZELVORA_ERROR_INVALID_ARGUMENT);

  refused(zelvora_set_web_content_limits(512, 2, static_cast<zelvora_web_sandbox>(3)),
          ZELVORA_ERROR_INVALID_ARGUMENT);

  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  EXPECT_STREQ(zelvora_last_error(), "");
  ASSERT_TRUE(runUntil([&] { return events.has("ready:p"); }));
  refused(zelvora_initialize("app"), ZELVORA_ERROR_ALREADY_INITIALIZED);
  refused(zelvora_show_ad(platform, "nowhere"), ZELVORA_ERROR_UNKNOWN_PLACEMENT);
  int ready = 1;
  ASSERT_EQ(zelvora_is_ready("never", &ready), ZELVORA_OK);
  EXPECT_EQ(ready, 0);
  refused(zelvora_show_ad(platform, "never"), ZELVORA_ERROR_NOT_READY);

  // Keys handed in: the host's own while no ad is up.
  int taken = 1;
  ASSERT_EQ(zelvora_platform_handle_key(platform, ZELVORA_KEY_ESCAPE, &taken), ZELVORA_OK);
  EXPECT_EQ(taken, 0);
  refused(zelvora_platform_handle_key(platform, static_cast<zelvora_key>(10), &taken),
          ZELVORA_ERROR_INVALID_ARGUMENT);

  ASSERT_EQ(zelvora_is_ready("p", &ready), ZELVORA_OK);
  EXPECT_EQ(ready, 1);
  ASSERT_EQ(zelvora_show_ad(platform, "p"), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] { return events.has("shown:p"); }));
  // On screen: not ready to show again.
  refused(zelvora_show_ad(platform, "p"), ZELVORA_ERROR_NOT_READY);
  // Every key is the ad's now; Escape closes it.
  ASSERT_EQ(zelvora_platform_handle_key(platform, ZELVORA_KEY_ENTER, &taken), ZELVORA_OK);
  EXPECT_EQ(taken, 1);
  ASSERT_EQ(zelvora_platform_handle_key(platform, ZELVORA_KEY_ESCAPE, nullptr), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] { return events.has("close:p"); }));
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"init:[p,never,vast]", "ready:p", "shown:p", "close:p"}));
}

// The record as JSON text: the size asked first, a buffer one byte short refused and left
// untouched, then the text; a state out of range is refused.
TEST_F(CApiTest, ConsentJsonIntoTheCallersBuffer) {
  createPlatform();
  ASSERT_EQ(zelvora_set_consent(ZELVORA_CONSENT_PERSONALIZED_ADS, "We show ads.", 1700000000),
            ZELVORA_OK);
  EXPECT_EQ(zelvora_set_consent(static_cast<zelvora_consent_state>(7), "", 0),
            ZELVORA_ERROR_INVALID_ARGUMENT);
  zelvora_consent_state state = ZELVORA_CONSENT_UNKNOWN;
  ASSERT_EQ(zelvora_get_consent_state(&state), ZELVORA_OK);
  EXPECT_EQ(state, ZELVORA_CONSENT_PERSONALIZED_ADS);

  size_t needed = 0;
  EXPECT_EQ(zelvora_get_consent_json(nullptr, 0, &needed), ZELVORA_ERROR_BUFFER_TOO_SMALL);
  ASSERT_GT(needed, 1u);
  std::vector<char> buffer(needed - 1, 'x');
  EXPECT_EQ(zelvora_get_consent_json(buffer.data(), buffer.size(), &needed),
            ZELVORA_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(needed - 1, 'x'));
  buffer.resize(needed);
  ASSERT_EQ(zelvora_get_consent_json(buffer.data(), buffer.size(), nullptr), ZELVORA_OK);
  const JSON record = JSON::parse(buffer.data());
  EXPECT_EQ(record["state"], "CONSENT_PERSONALIZED_ADS");
  EXPECT_EQ(record["wording"], "We show ads.");
  EXPECT_EQ(record["lastChangedTs"], 1700000000000);
}

// The consent strings from C: NULL or "" is not set, each call replaces all four, malformed
// values are refused with their reason and leave the strings kept, which the record shows.
TEST_F(CApiTest, ConsentStringsAreCheckedAndShowInTheRecord) {
  createPlatform();
  const auto record = [] {
    char buffer[512];
    EXPECT_EQ(zelvora_get_consent_json(buffer, sizeof buffer, nullptr), ZELVORA_OK);
    return std::string(buffer);
  };
  const int ids[] = {2, 6};
  ASSERT_EQ(zelvora_set_consent_strings("CPzHq4A", "DBABMA", ids, 2, "1YNN"), ZELVORA_OK);
  const std::string kept = R"({"state":"UNKNOWN","changed":false,"tcfString":"CPzHq4A",)"
                           R"("gppString":"DBABMA","gppSid":[2,6],"usPrivacy":"1YNN"})";
  EXPECT_EQ(record(), kept);

  struct Refused {
    const char *tcf, *gpp;
    const int* ids;
    size_t count;
    const char *usPrivacy, *why;
  };
  const std::vector<int> many(65, 1);
  const Refused cases[] = {
      {"CP\x01", nullptr, nullptr, 0, nullptr, "the TC string holds byte 0x01 at offset 2"},
      {nullptr, "DB A", nullptr, 0, nullptr, "the GPP string holds byte 0x20 at offset 2"},
      {nullptr, nullptr, ids, 2, nullptr, "GPP section ids need a GPP string"},
      {nullptr, "DBABMA", nullptr, 1, nullptr, "gpp_section_ids is NULL with a count above 0"},
      {nullptr, "DBABMA", many.data(), many.size(), nullptr, "more than 64 GPP section ids"},
      {nullptr, nullptr, nullptr, 0, "1YNNN",
       "the US privacy string is not 4 characters: \"1\" then Y, N or - three times"},
  };
  for (const auto& refused : cases) {
    EXPECT_EQ(zelvora_set_consent_strings(refused.tcf, refused.gpp, refused.ids, refused.count,
                                          refused.usPrivacy),
              ZELVORA_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(zelvora_last_error(),
                ::testing::StartsWith("zelvora_set_consent_strings: " + std::string(refused.why)));
  }
  EXPECT_EQ(record(), kept);

  ASSERT_EQ(zelvora_set_consent_strings(nullptr, "", nullptr, 0, "1---"), ZELVORA_OK);
  EXPECT_EQ(record(), R"({"state":"UNKNOWN","changed":false,"usPrivacy":"1---"})");
}

// Calls from another thread are refused; the callbacks and the reasons arrive on the main
// thread only, also for what the SDK's own threads did (the transfer); the log sink gets the
// levels.
TEST_F(CApiTest, CallbacksOnlyOnTheMainThread) {
  createPlatform();
  std::vector<std::pair<int, std::string>> lines;
  ASSERT_EQ(zelvora_set_log_sink(
                [](zelvora_log_level level, const char* line, void* user) {
                  static_cast<decltype(lines)*>(user)->emplace_back(level, line);
                },
                &lines),
            ZELVORA_OK);
  zelvora_status offThread = ZELVORA_OK;
  std::thread([&] { offThread = zelvora_initialize("app"); }).join();
  EXPECT_EQ(offThread, ZELVORA_ERROR_OFF_MAIN_THREAD);

  // A closed port first: the failure's reason, then a success.
  const std::string closed = closedUrl("/srv");
  ASSERT_EQ(zelvora_set_server(closed.c_str(), nullptr, 5), ZELVORA_OK);
  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] { return !events.events.empty(); }));
  ASSERT_TRUE(runUntil([&] { return events.has("init:[]"); }));
  ASSERT_EQ(zelvora_set_server(server->endpointUrl().c_str(), nullptr, 10), ZELVORA_OK);
  // With VAST on, the broken document's reason reaches the host after its placement's no-ads.
  ASSERT_EQ(zelvora_set_vast(1, 0, 0, 0), ZELVORA_OK);
  // The picture budget is kept by a later change of the other settings.
  ASSERT_EQ(zelvora_set_decoded_image_budget(2), ZELVORA_OK);
  ASSERT_EQ(zelvora_set_ad_settings(-1, -1, -1, -1, 0), ZELVORA_OK);
  EXPECT_EQ(ZelController::sharedInstance().adSettings().decodedImageBudgetMiB, 2);
  ASSERT_EQ(
      zelvora_set_no_ads_reason_callback(
          [](const char* id, zelvora_status reason, const char*, void* user) {
            seen(user).record("no_ads_reason:" + std::string(id) + ":" + std::to_string(reason));
          },
          &events),
      ZELVORA_OK);
  // Then the failed load, with the same reason.
  ASSERT_EQ(
      zelvora_set_load_callbacks(
          [](const char* id, zelvora_status reason, const char*, void* user) {
            seen(user).record("load_failed:" + std::string(id) + ":" + std::to_string(reason));
          },
          nullptr, &events),
      ZELVORA_OK);
  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  ASSERT_TRUE(runUntil([&] {
    return events.has("ready:p") && events.has("no_ads_reason:vast:1100") &&
           events.has("load_failed:vast:1100");
  }));
  zelvora_set_log_sink(nullptr, nullptr);
  zelvora_set_no_ads_reason_callback(nullptr, nullptr);
  zelvora_set_load_callbacks(nullptr, nullptr, nullptr);

  EXPECT_EQ(std::vector<std::string>(events.events.begin(), events.events.begin() + 3),
            (std::vector<std::string>{"init_error:100", "init:[]", "init:[p,never,vast]"}));
  // The placement "never" whose image is missing: its failed load too.
  EXPECT_TRUE(events.has("load_failed:never:301"));
  EXPECT_EQ(events.events.size(), 7u) << ::testing::PrintToString(events.events);
  for (const auto& thread : events.threads) EXPECT_EQ(thread, std::this_thread::get_id());
  const std::pair<int, std::string> refusal{
      ZELVORA_LOG_ERROR, "ZelvoraFramework - zelvora_initialize called off the main thread"};
  const std::pair<int, std::string> trace{ZELVORA_LOG_TRACE,
                                          "ZelController: onAdReady for placement p"};
  EXPECT_NE(std::find(lines.begin(), lines.end(), refusal), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), trace), lines.end());
}

// The host's loop waits in run or run_for until a callback, or another thread, quits it; pump
// runs what is due.
TEST_F(CApiTest, RunAndRunForEndWhenACallbackQuits) {
  createPlatform();
  zelvora_callbacks callbacks{};
  callbacks.on_init = [](const char* const*, size_t, void* user) {
    zelvora_platform_quit(static_cast<zelvora_platform*>(user));
  };
  ASSERT_EQ(zelvora_set_callbacks(&callbacks, platform), ZELVORA_OK);
  const std::string closed = closedUrl("/srv");
  ASSERT_EQ(zelvora_set_server(closed.c_str(), nullptr, 5), ZELVORA_OK);
  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  EXPECT_EQ(zelvora_platform_run(platform), ZELVORA_OK);
  ASSERT_EQ(zelvora_initialize("app"), ZELVORA_OK);
  EXPECT_EQ(zelvora_platform_run_for(platform, 600), ZELVORA_OK);
  // From another thread, over and over (a quit before the loop starts waiting is not kept).
  for (const bool forever : {true, false}) {
    std::atomic<bool> returned = false;
    std::thread quitter([&] {
      while (!returned) {
        zelvora_platform_quit(platform);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    EXPECT_EQ(forever ? zelvora_platform_run(platform) : zelvora_platform_run_for(platform, 600),
              ZELVORA_OK);
    returned = true;
    quitter.join();
  }
  size_t ran = 0;
  EXPECT_EQ(zelvora_platform_pump(platform, &ran), ZELVORA_OK);
  EXPECT_EQ(zelvora_platform_run_for(platform, -1), ZELVORA_ERROR_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace zelvora::test
