// The outcomes of ZelController::initialize against the reference server, as the host's
// delegate and console see them.

#include <algorithm>
#include <filesystem>

#include "LoopbackServer.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

namespace fs = std::filesystem;
using InitializeFlowTest = SdkTest;

JSON oneVideoAd(const std::string& adId) {
  return JSON::array({adObject(adId, "videoVast")});
}

TEST_F(InitializeFlowTest, AnswerRegistersInterstitialsInAnswerOrder) {
  JSON placements = JSON::object();
  placements["zeta"] = placementObject("enabled", oneVideoAd("z1"));
  placements["empty"] = placementObject("enabled", JSON::array());
  placements["banner-only"] =
      placementObject("enabled", JSON::array({adObject("b1", "banner", {}, "banner")}));
  placements["interactive"] = placementObject("enabled", oneVideoAd("i1"));
  placements["interactive"]["ads"][0]["ad"]["subtype"] = "interactive";
  placements["alpha"] = placementObject("disabled", oneVideoAd("a1"));
  placements["no-ads-member"] = JSON{{"name", "x"}, {"status", "enabled"}};
  auto& reference = startServer(campaignsFor("app", placements));

  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onNoAds:empty", "onNoAds:no-ads-member",
                                                        "onInit:[zeta,alpha]"}));
  EXPECT_TRUE(sdk().isInitialized());
  EXPECT_EQ(sdk().assetBaseUrl(), reference.baseUrl() + "/assets/");
  EXPECT_TRUE(logged("ZelController: onNoAds for placement empty"));
  EXPECT_TRUE(logged("ZelController: onNoAds for placement no-ads-member"));
  EXPECT_FALSE(logged("ZelvoraFramework - No ads available"));
}

TEST_F(InitializeFlowTest, EmptyPlacementsObjectInitialisesWithoutError) {
  startServer(campaignsFor("app", JSON::object()));
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[]"}));
  EXPECT_TRUE(sdk().isInitialized());
}

TEST_F(InitializeFlowTest, UnknownAppReportsNoAdsAvailable) {
  startServer(campaignsFor("app", JSON{{"p1", placementObject("enabled", oneVideoAd("a1"))}}));
  initializeAndWait("other-app");
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInitError:No ads available", "onInit:[]"}));
  EXPECT_TRUE(logged("ZelvoraFramework - No ads available"));
  EXPECT_FALSE(sdk().isInitialized());

  // Still uninitialised: another attempt is sent and can succeed.
  initializeAndWait("app");
  EXPECT_EQ(delegate->events.back(), "onInit:[p1]");
  EXPECT_TRUE(sdk().isInitialized());
  EXPECT_EQ(server->placementsRequests().size(), 2u);
}

TEST_F(InitializeFlowTest, FailureIsLoggedWithoutDelegate) {
  startServer(campaignsFor("app", JSON::object()));
  sdk().setEventDelegate(nullptr);
  sdk().initialize("other-app");
  EXPECT_TRUE(runUntil([&] { return logged("ZelvoraFramework - No ads available"); }));
  EXPECT_TRUE(delegate->events.empty());
}

TEST_F(InitializeFlowTest, InitializeAfterSuccessDoesNothing) {
  startServer(campaignsFor("app", JSON{{"p1", placementObject("enabled", oneVideoAd("a1"))}}));
  initializeAndWait("app");
  ASSERT_TRUE(sdk().isInitialized());

  // Initialising would empty the SDK's temporary folder before sending.
  const fs::path media = folder.path() / "tmp" / "zelvora" / "media.mp4";
  writeFile(media, "video");
  sdk().initialize("app");
  EXPECT_TRUE(fs::exists(media));
  runUntil([] { return false; }, 1);  // room for a request that should not exist
  EXPECT_EQ(server->placementsRequests().size(), 1u);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]"}));
}

TEST_F(InitializeFlowTest, InitializeTwiceBeforeTheAnswerSendsTwoRequests) {
  startServer(campaignsFor("app", JSON{{"p1", placementObject("enabled", oneVideoAd("a1"))}}));
  sdk().initialize("app");
  sdk().initialize("app");
  ASSERT_TRUE(runUntil([&] { return delegate->initCount == 2; }));
  EXPECT_EQ(server->placementsRequests().size(), 2u);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]", "onInit:[p1]"}));
  EXPECT_EQ(sdk().placements().keys(), (std::vector<std::string>{"p1"}));
}

TEST_F(InitializeFlowTest, ShowAdBeforeInitialisationOnlyLogs) {
  startServer(campaignsFor("app", JSON{{"p1", placementObject("enabled", oneVideoAd("a1"))}}));
  sdk().showAd(nullptr, "p1");
  EXPECT_TRUE(logged("ZelvoraFramework - SDK is not initialized"));

  initializeAndWait("other-app");
  sdk().showAd(nullptr, "p1");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ZelvoraFramework - SDK is not initialized"), 2);
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"onInitError:No ads available", "onInit:[]"}));
}

TEST_F(InitializeFlowTest, OnlyTheSdkTemporaryFolderIsEmptied) {
  const fs::path tmp = folder.path() / "tmp";
  fs::create_directories(tmp / "zelvora" / "nested");
  writeFile(tmp / "zelvora" / "old-media.mp4", "old");
  writeFile(tmp / "zelvora" / "nested" / "frame.png", "old");
  writeFile(tmp / "host-file.txt", "the host's own");
  fs::create_directories(tmp / "host-folder");
  writeFile(tmp / "host-folder" / "data", "the host's own");
  startServer(campaignsFor("app", JSON::object()));

  initializeAndWait("app");
  EXPECT_TRUE(fs::is_directory(tmp / "zelvora"));
  EXPECT_TRUE(fs::is_empty(tmp / "zelvora"));
  EXPECT_EQ(readFile(tmp / "host-file.txt"), "the host's own");
  EXPECT_EQ(readFile(tmp / "host-folder" / "data"), "the host's own");
}

}  // namespace
}  // namespace zelvora::test
