// ZelController::initialize against the reference server: what the server receives, and the
// outcomes as the host's delegate and console see them.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "ControllerAccess.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/SdkDirectories.h"

namespace zelvora::test {
namespace {

/// Member order carries no meaning: compare objects as unordered JSON.
nlohmann::json unordered(const JSON& value) {
  return nlohmann::json::parse(value.dump());
}

class InitializeTest : public SdkTest {
 protected:
  /// MD5 of `text` as the md5sum tool computes it.
  std::string md5sum(const std::string& text) {
    writeFile(folder.path() / "signed-input", text);
    FILE* pipe =
        ::popen(("md5sum '" + (folder.path() / "signed-input").string() + "'").c_str(), "r");
    if (pipe == nullptr) return "";
    char digest[33] = {};
    const std::size_t read = std::fread(digest, 1, 32, pipe);
    ::pclose(pipe);
    return std::string(digest, read);
  }

  JSON p1 = {{"p1", placementObject("enabled", JSON::array({adObject("a1", "videoVast")}))}};
};

// The body is {"data", "zvs"}: the MD5 of the payload's compact text followed by the salt,
// and the payload's members with their types (the host's defaults: no bundle, no location).
TEST_F(InitializeTest, RequestIsTheSignedPayloadWithItsTypedMembers) {
  startServer(campaignsFor("app", JSON::object()));
  initializeAndWait("app");
  ASSERT_EQ(server->placementsRequests().size(), 1u);
  const JSON body = server->placementsRequests()[0].body;
  ASSERT_TRUE(body.is_object() && body["data"].is_object() && body["zvs"].is_string());
  EXPECT_EQ(body.size(), 2u) << body.dump();
  const std::string signature = body["zvs"].get<std::string>();
  EXPECT_TRUE(std::regex_match(signature, std::regex("[0-9a-f]{32}"))) << signature;
  EXPECT_EQ(signature, md5sum(body["data"].dump() + "qmx407"));
  EXPECT_TRUE(server->placementsRequests()[0].signatureValid);

  JSON data = body["data"];
  ASSERT_TRUE(data["device"]["osver"].is_string());
  data["device"].erase("osver");  // the system's own
  EXPECT_EQ(data["sdkVer"], ZELVORA_VERSION_STRING);
  data.erase("sdkVer");
  EXPECT_EQ(unordered(data), nlohmann::json::parse(R"({
    "action": "getPlacements", "app": "app", "pkgName": null,
    "consent": {"state": "UNKNOWN", "changed": false},
    "geo": {"lat": "", "lng": ""},
    "device": {"os": "ios", "model": "Desktop", "make": "Apple", "w": "414", "h": "896",
               "ids": {"ios_ifa": "00000000-0000-0000-0000-000000000000"}}})"));
}

// The version comes from the project alone: the macros, both version calls, the request's
// "sdkVer" and the user agent all carry it.
TEST_F(InitializeTest, EveryVersionIsTheProjectVersion) {
  const std::string project = ZELVORA_TEST_PROJECT_VERSION;
  EXPECT_EQ(std::to_string(ZELVORA_VERSION_MAJOR) + "." + std::to_string(ZELVORA_VERSION_MINOR) +
                "." + std::to_string(ZELVORA_VERSION_PATCH),
            project);
  EXPECT_EQ(ZELVORA_VERSION_STRING, project);
  EXPECT_EQ(sdkVersion(), project);
  EXPECT_EQ(sdk().sdkVersion(), project);
  LoopbackServer recorder;
  std::string userAgent, sdkVer;  // read once the request is answered
  recorder.http.Post("/srv", [&](const httplib::Request& request, httplib::Response& response) {
    userAgent = request.get_header_value("User-Agent");
    sdkVer = JSON::parse(request.body, nullptr, false)["data"].value("sdkVer", "");
    response.set_content("{}", "application/json");
  });
  recorder.start();
  useServer(recorder.url("/srv"));
  initializeAndWait("app");
  recorder.stop();
  EXPECT_EQ(userAgent, "ZelvoraSDK/" + project);
  EXPECT_EQ(sdkVer, project);
}

// An answer without placements reports "No ads available" then onInit:[] and leaves the SDK
// uninitialised, so the next initialize sends again: the consent change travels in exactly the
// first request, and reading it meanwhile does not consume it.
TEST_F(InitializeTest, ConsentChangeTravelsInExactlyOneRequest) {
  auto env = environment();
  env.bundleIdentifier = "com.example.game";
  platform::setHostEnvironment(env);
  LoopbackServer noAds;
  std::vector<JSON> bodies;  // read once the requests are answered
  noAds.http.Post("/srv", [&](const httplib::Request& request, httplib::Response& response) {
    bodies.push_back(JSON::parse(request.body, nullptr, false));
    response.set_content("{}", "application/json");
  });
  noAds.start();
  useServer(noAds.url("/srv"));
  sdk().updateContestState(ConsentState::consentPersonalizedAds, "We show ads.", 1700000000);
  const auto change = nlohmann::json::parse(R"({"state": "CONSENT_PERSONALIZED_ADS",
      "changed": true, "wording": "We show ads.", "lastChangedTs": 1700000000000})");
  EXPECT_EQ(unordered(sdk().getConsentData()), change);
  EXPECT_EQ(unordered(sdk().getConsentData()), change);

  initializeAndWait("app");
  initializeAndWait("app");
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInitError:No ads available", "onInit:[]",
                                      "onInitError:No ads available", "onInit:[]"}));
  EXPECT_EQ(logCount("ZelvoraFramework - No ads available"), 2);
  EXPECT_FALSE(sdk().isInitialized());

  noAds.stop();
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0]["data"]["pkgName"], "com.example.game");
  EXPECT_EQ(unordered(bodies[0]["data"]["consent"]), change);
  const auto unchanged =
      nlohmann::json::parse(R"({"state": "CONSENT_PERSONALIZED_ADS", "changed": false})");
  EXPECT_EQ(unordered(bodies[1]["data"]["consent"]), unchanged);
  EXPECT_EQ(bodies[1]["zvs"], md5sum(bodies[1]["data"].dump() + "qmx407"));
  EXPECT_EQ(unordered(sdk().getConsentData()), unchanged);
}

// The consent strings travel in "consent" while they are set, and mark no change; without
// them the body is byte for byte the one sent before any was set.
TEST_F(InitializeTest, ConsentStringsTravelOnlyWhileSet) {
  LoopbackServer noAds;
  std::vector<std::string> bodies;  // read once the requests are answered
  noAds.http.Post("/srv", [&](const httplib::Request& request, httplib::Response& response) {
    bodies.push_back(request.body);
    response.set_content("{}", "application/json");
  });
  noAds.start();
  useServer(noAds.url("/srv"));
  initializeAndWait("app");
  ASSERT_TRUE(sdk().setConsentStrings({"CPzHq4A.YAAA", "DBABMA~CPXxRfA", {2, 6}, "1YNN"}));
  initializeAndWait("app");
  ASSERT_TRUE(sdk().setConsentStrings({}));
  initializeAndWait("app");
  noAds.stop();

  ASSERT_EQ(bodies.size(), 3u);
  EXPECT_NE(bodies[0].find(R"("app":"app","consent":{"state":"UNKNOWN","changed":false},)"),
            std::string::npos)
      << bodies[0];
  EXPECT_EQ(bodies[2], bodies[0]);
  const JSON with = JSON::parse(bodies[1]);
  EXPECT_EQ(with["data"]["consent"].dump(),
            R"({"state":"UNKNOWN","changed":false,"tcfString":"CPzHq4A.YAAA",)"
            R"("gppString":"DBABMA~CPXxRfA","gppSid":[2,6],"usPrivacy":"1YNN"})");
  EXPECT_EQ(with["zvs"], md5sum(with["data"].dump() + "qmx407"));
}

// An app id the server has no campaign for is answered with no placements, which initialises
// the SDK with none, and the server's log names the app ids it knows.
TEST_F(InitializeTest, UnknownAppGetsNoPlacementsAndTheServerNamesTheKnownApps) {
  std::vector<std::string> serverLog;
  std::mutex serverLogMutex;
  server::ServerOptions options;
  options.campaigns = campaignsFor("app", p1);
  options.campaigns["apps"]["zelvora-demo"] = {{"placements", JSON::object()}};
  options.log = [&](const std::string& line) {
    std::lock_guard lock(serverLogMutex);
    serverLog.push_back(line);
  };
  server = std::make_unique<server::ReferenceServer>(options);
  server->start();
  useServer(server->endpointUrl());

  initializeAndWait("no-such-app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[]"}));
  EXPECT_TRUE(sdk().isInitialized());
  server->stop();
  EXPECT_EQ(serverLog,
            (std::vector<std::string>{
                R"(unknown app id "no-such-app"; known app ids: "app", "zelvora-demo")"}));
}

// Success reports each placement without ads, then onInit with the registered ones, in the
// answer's order; once initialised, initialize sends nothing and keeps the temporary files.
TEST_F(InitializeTest, SuccessThenInitializeDoesNothing) {
  JSON placements = p1;
  placements["empty"] = placementObject("enabled", JSON::array());
  placements["p0"] = p1["p1"];
  auto& reference = startServer(campaignsFor("app", placements));
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onNoAds:empty", "onInit:[p1,p0]"}));
  EXPECT_TRUE(sdk().isInitialized());
  EXPECT_EQ(sdk().assetBaseUrl(), reference.baseUrl() + "/assets/");
  EXPECT_FALSE(logged("ZelvoraFramework - "));

  const fs::path media = sdkTemporaryDirectory() / "media.mp4";
  writeFile(media, "video");
  sdk().initialize("app");
  runUntil([] { return false; }, 1);  // room for a request that should not exist
  EXPECT_TRUE(fs::exists(media));
  EXPECT_EQ(server->placementsRequests().size(), 1u);
  EXPECT_EQ(delegate->events.size(), 2u);
}

// Every initialisation empties the run folders no live process holds (their lock is free, or
// they have no lock file after a minute), never a held one, this process's own or anything
// else; links are removed, never followed. An empty placements object is a success.
TEST_F(InitializeTest, OnlyRunFoldersNoLiveProcessHoldsAreEmptied) {
  const fs::path own = sdkTemporaryDirectory();
  const fs::path container = own.parent_path();
  const fs::path outside = folder.path() / "outside";
  fs::create_directories(outside);
  writeFile(outside / "data", "the host's own");
  writeFile(own / "media.mp4", "ours");
  const auto run = [&](const std::string& name, bool lockFile) {
    fs::create_directories(container / name / "a1b2c3");
    writeFile(container / name / "a1b2c3" / "video.mp4", "video");
    if (lockFile) writeFile(container / name / ".lock", "");
    return container / name;
  };
  const int holder = ::open((run("run-11-held", true) / ".lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);  // as its live process does
  run("run-12-gone", true);
  fs::create_directory_symlink(outside, run("run-13-gone", true) / "a1b2c3" / "link");
  run("run-14-new", false);
  fs::last_write_time(run("run-15-killed", false),
                      fs::file_time_type::clock::now() - std::chrono::minutes(2));
  fs::create_directory_symlink(outside, container / "run-16-link");
  fs::create_directories(container / "other");
  const auto left = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(container))
      names.insert(entry.path().filename());
    return names;
  };

  useServer(closedUrl("/srv"));  // a failed initialisation cleans up too
  initializeAndWait("app");
  startServer(campaignsFor("app", JSON::object()));
  const std::string ownName = own.filename();
  EXPECT_EQ(left(), (std::set<std::string>{"other", ownName, "run-11-held", "run-14-new"}));
  EXPECT_EQ(readFile(own / "media.mp4"), "ours");
  EXPECT_EQ(readFile(outside / "data"), "the host's own");

  ::close(holder);  // its process is gone
  run("run-17-gone", true);
  initializeAndWait("app");
  EXPECT_EQ(left(), (std::set<std::string>{"other", ownName, "run-14-new"}));
  EXPECT_EQ(readFile(outside / "data"), "the host's own");
  EXPECT_EQ(delegate->events.back(), "onInit:[]");
  EXPECT_TRUE(sdk().isInitialized());
}

// showAd before initialisation only logs; two initialize calls in flight each send and each
// end in onInit, registering the placements once.
TEST_F(InitializeTest, ShowAdBeforeInitialisationAndTwoCallsInFlight) {
  startServer(campaignsFor("app", p1));
  sdk().showAd(root(), "p1");
  EXPECT_EQ(logCount("ZelvoraFramework - SDK is not initialized"), 1);
  sdk().initialize("app");
  sdk().initialize("app");
  ASSERT_TRUE(runUntil([&] { return delegate->initCount == 2; }));
  EXPECT_EQ(server->placementsRequests().size(), 2u);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]", "onInit:[p1]"}));
  EXPECT_EQ(internal::ControllerAccess::placements().keys(), (std::vector<std::string>{"p1"}));
}

// Called off the main thread, the SDK's calls are refused with one line each, in every build:
// nothing is sent, the consent stays, and the main thread's work goes on undisturbed.
TEST_F(InitializeTest, CallsOffTheMainThreadAreRefused) {
  startServer(campaignsFor("app", p1));
  const auto offTheMainThread = [&] {
    std::thread([&] {
      sdk().initialize("app");
      sdk().updateContestState(ConsentState::notEeaUser, "", 1700000000);
      sdk().setEventDelegate(nullptr);
    }).join();
  };
#ifdef NDEBUG
  offTheMainThread();
  for (const char* call : {"initialize", "updateContestState", "setEventDelegate"})
    EXPECT_EQ(logCount("ZelvoraFramework - " + std::string(call) + " called off the main thread"),
              1);
  runLoop().advance(1);
  EXPECT_TRUE(server->placementsRequests().empty());
  EXPECT_EQ(sdk().getConsentState(), ConsentState::unknown);
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]"}));
#else
  // The fixture's server runs threads: a plain fork could copy a lock held by one of them.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(offTheMainThread(), "");
#endif
}

}  // namespace
}  // namespace zelvora::test
