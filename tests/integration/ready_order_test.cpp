// How preloading uses the network, seen from the servers: files in the order the ads need
// them (each placement's ad before the extras), a file several ads use fetched once per run,
// connections kept and used again, and on a slow link one file after the other, while a
// server that only trickles holds nothing up.
#include <atomic>
#include <map>
#include <set>

#include "support/FaultServer.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"

namespace zelvora::test {
namespace {

const fs::path kAssets =
    fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "assets";

JSON bannerPlacement(const std::string& id, const std::vector<std::string>& files) {
  JSON ads = JSON::array();
  for (const auto& file : files)
    ads.push_back(adObject(id + "-" + file, "banner", {{"ctv", "{server}/assets/" + file}}));
  return placementObject("enabled", std::move(ads));
}

JSON videoPlacement(const std::string& video, const std::string& card = {}) {
  JSON data = {{"video", "{server}/assets/" + video}, {"duration", 8}};
  if (!card.empty()) data["landingCard"] = "{server}/assets/" + card;
  return placementObject("enabled", JSON::array({adObject("ad-" + video, "video", data)}));
}

class ReadyOrderTest : public SdkTest {
 protected:
  ReadyOrderTest() {
    fs::create_directories(assets);
    for (const char* name : {"a.png", "b.png", "c.png", "card.png", "shared.png"})
      fs::copy_file(kAssets / "sample-banner.png", assets / name);
    for (const char* name : {"v1.webm", "v2.webm"})
      fs::copy_file(kAssets / "sample-video.webm", assets / name);
    for (const char* name : {"ic_sound_on.png", "ic_sound_off.png"})
      fs::copy_file(kAssets / name, assets / name);
  }

  /// Starts the reference server over `assets`, sending them at `bytesPerSecond` (0: at full
  /// speed), initialises the SDK against it and waits until every placement is ready.
  void initializeWith(JSON placements, double bytesPerSecond = 0, TransferLimits limits = {}) {
    server::ServerOptions options;
    options.campaigns = campaignsFor("app", placements);
    options.assetDirectory = assets;
    options.assetBytesPerSecond = bytesPerSecond;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    useServer(server->endpointUrl(), 60, {}, limits);
    initializeAndWait("app");
    const auto ready = [&] {
      return static_cast<std::size_t>(std::count_if(delegate->events.begin(),
                                                    delegate->events.end(), [](const auto& event) {
                                                      return event.starts_with("onAdReady:");
                                                    })) == placements.size();
    };
    ASSERT_TRUE(runUntil(ready)) << ::testing::PrintToString(delegate->events);
  }

  /// The asset requests the server received, in order.
  std::vector<server::ServedRequest> assetRequests() const {
    std::vector<server::ServedRequest> requests;
    for (const auto& request : server->served())
      if (request.target.starts_with("/assets/")) requests.push_back(request);
    return requests;
  }
  std::vector<std::string> assetTargets() const {
    std::vector<std::string> targets;
    for (const auto& request : assetRequests()) targets.push_back(request.target.substr(8));
    return targets;
  }

  fs::path assets = folder.path() / "assets";
};

// One download at a time, and the first file slow enough that every preload has asked for its
// files before the next starts: the order is the SDK's. Each placement's ad comes in the
// placements' order (a placement's second ad is not preloaded); a video's own file before its
// icons and landing card, which come before the next placement's file.
TEST_F(ReadyOrderTest, EachPlacementsAdInOrderTheVideoBeforeItsExtras) {
  TransferLimits oneAtATime;
  oneAtATime.maxConcurrentDownloads = 1;
  JSON placements = JSON::object();
  placements["video"] = videoPlacement("v1.webm", "card.png");
  placements["first"] = bannerPlacement("first", {"a.png", "c.png"});
  placements["second"] = bannerPlacement("second", {"b.png"});
  initializeWith(placements, 256 * 1024, oneAtATime);
  ASSERT_TRUE(runUntil([&] { return assetRequests().size() == 6; }));
  EXPECT_EQ(assetTargets(),
            (std::vector<std::string>{"v1.webm", "ic_sound_on.png", "ic_sound_off.png", "card.png",
                                      "a.png", "b.png"}));
}

// Three placements show the same picture and two videos need the same icons: each file is
// fetched once, and every placement becomes ready. Asked for again later in the run, the file
// is there without a request.
TEST_F(ReadyOrderTest, AFileSeveralAdsUseIsFetchedOnce) {
  JSON placements = JSON::object();
  for (const char* id : {"one", "two", "three"})
    placements[id] = bannerPlacement(id, {"shared.png"});
  placements["v1"] = videoPlacement("v1.webm");
  placements["v2"] = videoPlacement("v2.webm");
  initializeWith(placements);
  ASSERT_TRUE(runUntil([&] { return assetRequests().size() == 5; }));

  std::string again;
  FileLoader::loadFile(server->baseUrl() + "/assets/shared.png",
                       [&](const std::string& path) { again = path; });
  ASSERT_TRUE(runUntil([&] { return !again.empty(); }));
  runUntil([] { return false; }, 0.2);  // time for anything sent by mistake to arrive
  std::map<std::string, int> fetched;
  for (const auto& target : assetTargets()) ++fetched[target];
  EXPECT_EQ(fetched, (std::map<std::string, int>{{"ic_sound_off.png", 1},
                                                 {"ic_sound_on.png", 1},
                                                 {"shared.png", 1},
                                                 {"v1.webm", 1},
                                                 {"v2.webm", 1}}));
}

// A dozen files over connections the client keeps and the server keeps alive: no more
// connections than transfers may run at once.
TEST_F(ReadyOrderTest, ConnectionsAreUsedAgain) {
  JSON placements = JSON::object();
  for (int i = 0; i < 12; ++i) {
    const std::string name = "banner-" + std::to_string(i) + ".png";
    fs::copy_file(kAssets / "sample-banner.png", assets / name);
    placements["p" + std::to_string(i)] = bannerPlacement("p" + std::to_string(i), {name});
  }
  initializeWith(placements);
  std::set<int> connections;
  for (const auto& request : assetRequests()) connections.insert(request.remotePort);
  EXPECT_EQ(assetRequests().size(), 12u);
  EXPECT_LE(connections.size(), static_cast<std::size_t>(TransferLimits{}.maxConcurrentDownloads));
}

// Two files through a slow link: the second is asked for only when the first has nearly
// arrived, not beside it from the start, where the two would share the link and both arrive
// late.
TEST_F(ReadyOrderTest, OnASlowLinkTheNextFileStartsAsTheFirstEnds) {
  constexpr std::size_t kSize = 160 * 1024;
  constexpr std::size_t kChunk = 8 * 1024;
  std::atomic<std::size_t> sentOfFirst = 0;
  std::atomic<long> sentWhenSecondAsked = -1;
  LoopbackServer link;
  link.http.Get(R"(/file/(\d))", [&](const httplib::Request& request, httplib::Response& response) {
    const bool first = request.matches[1] == "1";
    if (!first) sentWhenSecondAsked = static_cast<long>(sentOfFirst.load());
    response.set_content_provider(
        kSize, "application/octet-stream",
        [&, first](std::size_t, std::size_t length, httplib::DataSink& sink) {
          // 8 KB every 20 ms: 400 KB/s.
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          const std::string bytes(std::min(length, kChunk), 'x');
          if (first) sentOfFirst += bytes.size();
          return sink.write(bytes.data(), bytes.size());
        });
  });
  link.start();
  int done = 0;
  for (const char* path : {"/file/1", "/file/2"})
    FileLoader::loadFile(link.url(path), [&](const std::string&) { ++done; });
  ASSERT_TRUE(runUntil([&] { return done == 2; }));
  EXPECT_GE(sentWhenSecondAsked.load(), static_cast<long>(kSize / 2));
}

// A server that trickles a byte now and then does not share the link with the others: the
// next file does not wait for it to end.
TEST_F(ReadyOrderTest, ATricklingServerHoldsNoOtherFileUp) {
  FaultServer fault;
  fault.addFile("small", "a small file");
  TransferLimits limits;
  limits.downloadDeadlineSeconds = 5;
  useServer(fault.url("/srv"), 60, {}, limits);
  bool dripEnded = false;
  bool smallArrivedFirst = false;
  FileLoader::loadFile(fault.url("/drip"), [](const std::string&) {});
  FileLoader::loadFile(fault.url("/file/small"),
                       [&](const std::string&) { smallArrivedFirst = !dripEnded; });
  ASSERT_TRUE(runUntil([&] {
    dripEnded = logged("download failed: ");
    return dripEnded || smallArrivedFirst;
  }));
  EXPECT_TRUE(smallArrivedFirst);
}

}  // namespace
}  // namespace zelvora::test
