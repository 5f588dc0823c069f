// Answers and transports that go wrong, from a test server of our own on 127.0.0.1: every one
// ends in the delegate's onInitError/onInit or in placement events, never in a crash or hang.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

/// The events expected for an answer; an entry "onInitError:*" stands for any non-empty
/// error message.
bool eventsMatch(const std::vector<std::string>& events, const std::vector<std::string>& expected) {
  if (events.size() != expected.size()) return false;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (expected[i] == "onInitError:*") {
      if (events[i].rfind("onInitError:", 0) != 0 || events[i].size() == 12) return false;
    } else if (events[i] != expected[i]) {
      return false;
    }
  }
  return true;
}

std::string joined(const std::vector<std::string>& events) {
  std::string text;
  for (const auto& event : events) text += "\n  " + event.substr(0, 120);
  return text;
}

struct BadAnswer {
  std::string name;
  int status;
  std::string body;
  std::vector<std::string> events;
  bool initialised;
  /// Refusing the answer as a whole (onInitError, then onInit:[]) is as good an outcome.
  bool refusalAllowed = false;
};

void PrintTo(const BadAnswer& answer, std::ostream* out) {
  *out << answer.name;
}

const std::vector<std::string> kFailed = {"onInitError:*", "onInit:[]"};
const std::vector<std::string> kNoAds = {"onInitError:No ads available", "onInit:[]"};

std::string validAd(const std::string& adId) {
  return adObject(adId, "videoVast").dump();
}

std::string placementsAnswer(const std::string& placements) {
  return R"({"data": {"placements": )" + placements + "}}";
}

std::vector<BadAnswer> badAnswers() {
  const std::string longPlacement(100 * 1024, 'p');
  const std::string longEmpty(100 * 1024, 'e');
  const std::string longAd(100 * 1024, 'a');
  // Far deeper than any answer needs: whatever the SDK does with it, it must not recurse
  // through it without bound.
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  return {
      {"NotJson", 200, "not json {", kFailed, false},
      {"EmptyBody", 200, "", kFailed, false},
      {"TruncatedJson", 200, R"({"data": {"placements": {})", kFailed, false},
      {"InvalidUtf8", 200, "{\"data\": {\"placements\": {\"p\xff\": {}}}}", kFailed, false},
      {"HtmlErrorPage", 404, "<html><body>not found</body></html>", kFailed, false},
      {"BareTrue", 200, "true", kNoAds, false},
      {"BareNumber", 200, "3", kNoAds, false},
      {"BareString", 200, R"("x")", kNoAds, false},
      {"BareNull", 200, "null", kNoAds, false},
      {"EmptyObject", 200, "{}", kNoAds, false},
      {"DataNumber", 200, R"({"data": 5})", kNoAds, false},
      {"DataString", 200, R"({"data": "placements"})", kNoAds, false},
      {"DataNull", 200, R"({"data": null})", kNoAds, false},
      {"DataArray", 200, R"({"data": [{"placements": {}}]})", kNoAds, false},
      {"DataWithoutPlacements", 200, R"({"data": {"assetBaseUrl": "http://127.0.0.1:9/a/"}})",
       kNoAds, false},
      {"Http500WithJsonBody", 500, R"({"error": "internal"})", kNoAds, false},
      {"Http503WithPlacements", 503, placementsAnswer("{}"), {"onInit:[]"}, true},
      {"PlacementsNumber", 200, placementsAnswer("5"), {"onInit:[]"}, true},
      {"PlacementsString", 200, placementsAnswer(R"("p1")"), {"onInit:[]"}, true},
      {"PlacementsNull", 200, placementsAnswer("null"), {"onInit:[]"}, true},
      {"PlacementsArrayWithJunk",
       200,
       placementsAnswer(R"(["x", null, 7, {"status": "enabled", "ads": [)" + validAd("a1") + "]}]"),
       {"onNoAds:0", "onNoAds:1", "onNoAds:2", "onInit:[3]"},
       true},
      {"PlacementsObjectWithJunk",
       200,
       placementsAnswer(R"({"s": "x", "n": null, "o": {"status": "enabled", "ads": {"a": 1}},
                            "junk-first": {"status": "enabled", "ads": [1, "x", null]},
                            "p2": {"status": "enabled", "ads": [)" +
                        validAd("a1") + R"(, 5, null, "s", [], {}]}})"),
       {"onNoAds:s", "onNoAds:n", "onNoAds:o", "onInit:[p2]"},
       true},
      {"HundredKilobyteIds",
       200,
       placementsAnswer(R"({")" + longPlacement + R"(": {"status": "enabled", "ads": [)" +
                        validAd(longAd) + R"(]}, ")" + longEmpty + R"(": {"ads": []}})"),
       {"onNoAds:" + longEmpty, "onInit:[" + longPlacement + "]"},
       true},
      {"DeeplyNestedMemberBesideThePlacements",
       200,
       R"({"data": {"placements": {}, "extra": )" + deep + "}}",
       {"onInit:[]"},
       true,
       true},
      {"DeeplyNestedAdData",
       200,
       placementsAnswer(
           R"({"p1": {"status": "enabled", "ads": [{"adId": "a1", "ad": {"type": "interstitial",
               "subtype": "videoVast", "data": )" +
           deep + "}}]}}"),
       {"onInit:[p1]"},
       true,
       true},
  };
}

class BadAnswerTest : public SdkTest, public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(BadAnswerTest, EndsInTheRightEvents) {
  const BadAnswer& answer = GetParam();
  LoopbackServer loopback;
  loopback.http.Post("/srv", [&](const httplib::Request&, httplib::Response& response) {
    response.status = answer.status;
    response.set_content(answer.body, "application/json");
  });
  loopback.start();
  useServer(loopback.url("/srv"));

  initializeAndWait("app");
  const bool refused = answer.refusalAllowed && eventsMatch(delegate->events, kFailed);
  EXPECT_TRUE(refused || eventsMatch(delegate->events, answer.events)) << joined(delegate->events);
  EXPECT_EQ(sdk().isInitialized(), answer.initialised && !refused);
  if ((refused || answer.events == kFailed) && !delegate->events.empty()) {
    // The error's description, logged under the controller's prefix.
    EXPECT_TRUE(logged("ZelvoraFramework - " + delegate->events[0].substr(12)));
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, BadAnswerTest, ::testing::ValuesIn(badAnswers()),
                         [](const auto& info) { return info.param.name; });

using TransportTest = SdkTest;

void expectTransportFailure(const std::vector<std::string>& events,
                            const std::function<bool(const std::string&)>& logged) {
  ASSERT_TRUE(eventsMatch(events, kFailed)) << joined(events);
  EXPECT_TRUE(logged("ZelvoraFramework - " + events[0].substr(12)));
}

TEST_F(TransportTest, ConnectionRefused) {
  useServer("http://127.0.0.1:" + std::to_string(closedPort()) + "/srv", 1);
  initializeAndWait("app");
  expectTransportFailure(delegate->events, [&](const std::string& line) { return logged(line); });
  EXPECT_FALSE(sdk().isInitialized());
}

TEST_F(TransportTest, ConnectionResetMidAnswer) {
  // What arrives before the reset is a complete answer: only the transport error may stop
  // the SDK from taking it in.
  const std::string sent = placementsAnswer("{}");
  LoopbackServer loopback;
  loopback.http.Post("/srv", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(sent.size() + 4096, "application/json",
                                  [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                    if (offset != 0) return false;
                                    sink.write(sent.data(), sent.size());
                                    return true;
                                  });
  });
  loopback.start();
  useServer(loopback.url("/srv"));

  initializeAndWait("app");
  expectTransportFailure(delegate->events, [&](const std::string& line) { return logged(line); });
  EXPECT_FALSE(sdk().isInitialized());
}

TEST_F(TransportTest, ServerSlowerThanTheTimeout) {
  std::mutex mutex;
  std::condition_variable wake;
  bool released = false;
  LoopbackServer loopback;
  loopback.http.Post("/srv", [&](const httplib::Request&, httplib::Response& response) {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::seconds(3), [&] { return released; });
    response.set_content(placementsAnswer("{}"), "application/json");
  });
  loopback.start();
  useServer(loopback.url("/srv"), 1);

  initializeAndWait("app");
  expectTransportFailure(delegate->events, [&](const std::string& line) { return logged(line); });
  EXPECT_NE(delegate->events[0].find("timed out"), std::string::npos) << delegate->events[0];
  EXPECT_FALSE(sdk().isInitialized());

  {
    std::lock_guard lock(mutex);
    released = true;
  }
  wake.notify_all();
  loopback.stop();
}

}  // namespace
}  // namespace zelvora::test
