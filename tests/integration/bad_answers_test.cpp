// Answers that go wrong, from a test server of our own on 127.0.0.1: every one ends in the
// delegate's onInitError/onInit or in placement events, never in a crash or hang. Transports
// that fail are the hostile-network table's.

#include "support/LoopbackServer.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

const std::vector<std::string> kFailed = {"onInitError:*", "onInit:[]"};
const std::vector<std::string> kNoAds = {"onInitError:No ads available", "onInit:[]"};

/// The events, every non-empty error message but kNoAds' standing as "*".
std::vector<std::string> normalised(std::vector<std::string> events) {
  for (auto& event : events) {
    if (event.rfind("onInitError:", 0) == 0 && event.size() > 12 && event != kNoAds[0])
      event = kFailed[0];
  }
  return events;
}

/// An answer and the events it must end in. The SDK is initialised unless it fails (kFailed,
/// kNoAds); for the deeply nested answers, refusing the whole answer is as good an outcome.
struct BadAnswer {
  std::string name;
  int status;
  std::string body;
  std::vector<std::string> events;
};

void PrintTo(const BadAnswer& answer, std::ostream* out) {
  *out << answer.name;
}

std::string validAd(const std::string& adId) {
  return adObject(adId, "videoVast").dump();
}

std::string placementsAnswer(const std::string& placements) {
  return R"({"data": {"placements": )" + placements + "}}";
}

std::vector<BadAnswer> badAnswers() {
  const std::string longPlacement(100 * 1024, 'p');
  const std::string longEmpty(100 * 1024, 'e');
  // Far deeper than any answer needs: it must not be recursed through without bound.
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  return {
      {"NotJson", 200, "not json {", kFailed},
      {"EmptyBody", 200, "", kFailed},
      {"InvalidUtf8", 200, "{\"data\": {\"placements\": {\"p\xff\": {}}}}", kFailed},
      {"BareTrue", 200, "true", kNoAds},
      {"BareNumber", 200, "3", kNoAds},
      {"BareString", 200, R"("x")", kNoAds},
      {"BareNull", 200, "null", kNoAds},
      {"DataNumber", 200, R"({"data": 5})", kNoAds},
      {"DataArray", 200, R"({"data": [{"placements": {}}]})", kNoAds},
      {"DataWithoutPlacements", 200, R"({"data": {"assetBaseUrl": "http://127.0.0.1:9/a/"}})",
       kNoAds},
      {"Http500WithJsonBody", 500, R"({"error": "internal"})", kNoAds},
      {"PlacementsNumber", 200, placementsAnswer("5"), {"onInit:[]"}},
      {"PlacementsString", 200, placementsAnswer(R"("p1")"), {"onInit:[]"}},
      {"PlacementsArrayWithJunk",
       200,
       placementsAnswer(R"(["x", null, 7, {"status": "enabled", "ads": [)" + validAd("a1") + "]}]"),
       {"onNoAds:0", "onNoAds:1", "onNoAds:2", "onInit:[3]"}},
      {"AdsHoldingNonObjects",
       200,
       placementsAnswer(R"({"o": {"status": "enabled", "ads": {"a": 1}},
                            "junk-first": {"status": "enabled", "ads": [1, "x", null]},
                            "p2": {"status": "enabled", "ads": [)" +
                        validAd("a1") + R"(, 5, null, "s", [], {}]}})"),
       {"onNoAds:o", "onInit:[p2]"}},
      {"HundredKilobyteIds",
       200,
       placementsAnswer(R"({")" + longPlacement + R"(": {"status": "enabled", "ads": [)" +
                        validAd(std::string(100 * 1024, 'a')) + R"(]}, ")" + longEmpty +
                        R"(": {"ads": []}})"),
       {"onNoAds:" + longEmpty, "onInit:[" + longPlacement + "]"}},
      {"DeeplyNestedMember",
       200,
       R"({"data": {"placements": {}, "extra": )" + deep + "}}",
       {"onInit:[]"}},
      {"DeeplyNestedAdData",
       200,
       placementsAnswer(R"({"p1": {"status": "enabled", "ads": [{"adId": "a1",
           "ad": {"type": "interstitial", "subtype": "videoVast", "data": )" +
                        deep + "}}]}}"),
       {"onInit:[p1]"}},
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
  const auto events = normalised(delegate->events);
  const bool refused = answer.name.rfind("Deeply", 0) == 0 && events == kFailed;
  EXPECT_TRUE(refused || events == answer.events) << ::testing::PrintToString(events);
  const bool failed = refused || answer.events == kFailed || answer.events == kNoAds;
  EXPECT_EQ(sdk().isInitialized(), !failed);
  if (failed && !delegate->events.empty()) {
    // The error's description, logged under the controller's prefix.
    EXPECT_TRUE(logged("ZelvoraFramework - " + delegate->events[0].substr(12)));
    // Its reason, right after it: an answer without placements, or one that is not JSON.
    const std::string reason = answer.events == kNoAds ? "104:" : "103:";
    EXPECT_EQ(delegate->reasons, std::vector<std::string>{reason + delegate->events[0].substr(12)});
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, BadAnswerTest, ::testing::ValuesIn(badAnswers()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zelvora::test
