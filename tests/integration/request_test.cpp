// What the ad server receives from ZelController::initialize: the signed getPlacements body
// as the reference server recorded it.

#include <algorithm>
#include <cstdio>
#include <regex>

#include "LoopbackServer.h"
#include "support/SdkTest.h"
#include "zelvora/platform/HostEnvironment.h"

namespace zelvora::test {
namespace {

/// Member order carries no meaning: compare objects as unordered JSON.
nlohmann::json unordered(const JSON& value) {
  return nlohmann::json::parse(value.dump());
}

class RequestTest : public SdkTest {
 protected:
  /// The body of the only request the server received.
  JSON onlyRequest() {
    const auto requests = server->placementsRequests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? JSON() : requests.back().body;
  }

  /// MD5 of `text` as the md5sum tool computes it.
  std::string md5sum(const std::string& text) {
    const auto file = folder.path() / "signed-input";
    writeFile(file, text);
    FILE* pipe = ::popen(("md5sum '" + file.string() + "'").c_str(), "r");
    if (pipe == nullptr) return "";
    char digest[33] = {};
    const std::size_t read = std::fread(digest, 1, 32, pipe);
    ::pclose(pipe);
    return std::string(digest, read);
  }
};

TEST_F(RequestTest, BodyIsTheSignedPayloadWithItsTypedMembers) {
  startServer(campaignsFor("app", JSON::object()));
  initializeAndWait("app");

  const JSON body = onlyRequest();
  ASSERT_TRUE(body.is_object());
  EXPECT_EQ(body.size(), 2u) << body.dump();
  ASSERT_TRUE(body.contains("zvs") && body["zvs"].is_string());
  ASSERT_TRUE(body.contains("data") && body["data"].is_object());
  const std::string signature = body["zvs"].get<std::string>();
  EXPECT_TRUE(std::regex_match(signature, std::regex("[0-9a-f]{32}"))) << signature;

  // The digest covers the payload's text followed by the salt, nothing else.
  const JSON& data = body["data"];
  EXPECT_EQ(signature, md5sum(data.dump() + "qmx407"));
  EXPECT_TRUE(server->placementsRequests().front().signatureValid);

  std::vector<std::string> keys;
  for (const auto& item : data.items()) keys.push_back(item.key());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"action", "app", "consent", "device", "geo", "pkgName",
                                            "sdkVer"}));
  EXPECT_EQ(data["action"], "getPlacements");
  EXPECT_EQ(data["app"], "app");
  EXPECT_EQ(data["sdkVer"], "1.0.5");
  EXPECT_TRUE(data["pkgName"].is_null()) << "no bundle identifier: null";
  EXPECT_EQ(unordered(data["consent"]),
            nlohmann::json::parse(R"({"state": "UNKNOWN", "changed": false})"));
  EXPECT_EQ(unordered(data["geo"]), nlohmann::json::parse(R"({"lat": "", "lng": ""})"));

  const JSON& device = data["device"];
  ASSERT_TRUE(device.is_object());
  EXPECT_EQ(device.size(), 7u) << device.dump();
  EXPECT_EQ(device["os"], "ios");
  EXPECT_EQ(device["make"], "Apple");
  EXPECT_TRUE(device["osver"].is_string());
  EXPECT_EQ(device["model"], "Desktop");
  EXPECT_EQ(device["w"], "414");
  EXPECT_EQ(device["h"], "896");
  EXPECT_EQ(unordered(device["ids"]),
            nlohmann::json::parse(R"({"ios_ifa": "00000000-0000-0000-0000-000000000000"})"));
}

TEST_F(RequestTest, HostFactsReachThePayload) {
  platform::HostEnvironment env = environment();
  env.systemVersion = "17.2";
  env.model = "iPhone";
  env.screenWidth = 320.5;
  env.screenHeight = 568.9;
  env.locationServicesEnabled = true;
  env.lastKnownLocation = platform::Location{52.93, -0.4};
  env.advertisingIdentifier = "1e2d3c4b-5a69-4788-9abc-def012345678";
  env.bundleIdentifier = "com.example.game";
  platform::setHostEnvironment(env);
  startServer(campaignsFor("app", JSON::object()));
  initializeAndWait("app");

  const JSON body = onlyRequest();
  const JSON& data = body["data"];
  EXPECT_EQ(data["pkgName"], "com.example.game");
  EXPECT_EQ(unordered(data["device"]), nlohmann::json::parse(R"({
    "os": "ios", "osver": "17.2", "model": "iPhone", "make": "Apple", "w": "320", "h": "568",
    "ids": {"ios_ifa": "1E2D3C4B-5A69-4788-9ABC-DEF012345678"}})"));
  EXPECT_EQ(unordered(data["geo"]), nlohmann::json::parse(R"({"lat": "52", "lng": "0"})"));
  EXPECT_EQ(body["zvs"], md5sum(data.dump() + "qmx407"));
  EXPECT_TRUE(server->placementsRequests().front().signatureValid);
}

TEST_F(RequestTest, ConsentChangeTravelsInExactlyOneRequest) {
  startServer(campaignsFor("app", JSON::object()));
  sdk().updateContestState(ConsentState::consentPersonalizedAds, "We show ads.", 1700000000);

  // Reading the record leaves the change for the next request.
  const auto expectedChange = nlohmann::json::parse(R"({"state": "CONSENT_PERSONALIZED_ADS",
      "changed": true, "wording": "We show ads.", "lastChangedTs": 1700000000000})");
  EXPECT_EQ(unordered(sdk().getConsentData()), expectedChange);
  EXPECT_EQ(unordered(sdk().getConsentData()), expectedChange);

  // An unknown app keeps the SDK uninitialised, so a second initialize sends again.
  initializeAndWait("unknown-app");
  initializeAndWait("unknown-app");
  EXPECT_FALSE(sdk().isInitialized());
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInitError:No ads available", "onInit:[]",
                                      "onInitError:No ads available", "onInit:[]"}));

  const auto requests = server->placementsRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(unordered(requests[0].body["data"]["consent"]), expectedChange);
  EXPECT_EQ(unordered(requests[1].body["data"]["consent"]),
            nlohmann::json::parse(R"({"state": "CONSENT_PERSONALIZED_ADS", "changed": false})"));
  EXPECT_TRUE(requests[0].signatureValid);
  EXPECT_TRUE(requests[1].signatureValid);
  EXPECT_EQ(unordered(sdk().getConsentData()), unordered(requests[1].body["data"]["consent"]));
  EXPECT_EQ(sdk().getConsentState(), ConsentState::consentPersonalizedAds);
}

TEST_F(RequestTest, EmptyAppIdIsSentUnchanged) {
  startServer(campaignsFor("app", JSON::object()));
  initializeAndWait("");
  const JSON body = onlyRequest();
  EXPECT_EQ(body["data"]["app"], "");
  EXPECT_TRUE(server->placementsRequests().front().signatureValid);
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInitError:No ads available", "onInit:[]"}));
}

}  // namespace
}  // namespace zelvora::test
