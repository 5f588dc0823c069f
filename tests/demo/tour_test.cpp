// The demo's tour over the sample campaigns, run as a user runs the program.

#include <httplib.h>

#include <sstream>

#include "demo/SampleTour.h"
#include "support/LoopbackServer.h"

namespace zelvora::test {
namespace {
using namespace demo_tour;

/// A reference server of the test's own, serving the sample campaigns and assets.
server::ServerOptions sampleServer() {
  server::ServerOptions options;
  options.campaigns =
      server::ReferenceServer::loadCampaigns(ZELVORA_SERVER_DATA_DIR "/campaigns/sample.json");
  options.assetDirectory = ZELVORA_SERVER_DATA_DIR "/assets";
  options.vastDirectory = ZELVORA_SERVER_DATA_DIR "/vast";
  return options;
}

TEST(Tour, EverySamplePlacementComesOutAsItsAdImplies) {
  TemporaryFolder folder;
  const DemoRun run = runDemo(folder, "--quiet");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  ASSERT_TRUE(run.summary.is_object()) << run.output;
  EXPECT_EQ(run.summary["allAsExpected"], true);
  EXPECT_EQ(run.summary["beaconsObserved"], true);
  EXPECT_EQ(strings(run.summary["otherBeacons"]), std::vector<std::string>{});

  std::vector<std::string> order;
  for (const auto& row : run.summary["placements"]) order.push_back(row["placement"]);
  EXPECT_EQ(order, answerOrder);
  for (const auto& [placement, expected] : sampleTour) expectRow(run.summary, placement, expected);
  expectImagesInPlaceOnTheSecondShowing(run.summary);
  expectMraidExposuresAndOrientation(run.summary);

  // The self-closing creative counts down five seconds from the moment it is shown.
  const JSON* selfClosing = rowOf(run.summary, "mraid-interstitial");
  const JSON* opening = rowOf(run.summary, "mraid-open");
  ASSERT_TRUE(selfClosing && opening);
  EXPECT_THAT(strings((*selfClosing)["beacons"]),
              ::testing::Contains("/t/close?ad=mraid-1&length=5"));
  const auto opened = strings((*opening)["openedUrls"]);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_THAT(opened[0], ::testing::EndsWith("/assets/landing.html"));

  // Quiet: the summary only, no console lines of the SDK or the demo.
  EXPECT_EQ(run.output.find("[sdk]"), std::string::npos);
  EXPECT_EQ(run.output.find("[demo]"), std::string::npos);
  EXPECT_EQ(run.output.rfind("Tour summary", 0), 0u) << run.output;
}

// Against a server of its own choosing, the demo learns the answer and reads the beacons
// through the server's debug endpoints, counting none from before it started.
TEST(Tour, AnotherServersBeaconsAreReadOverHttp) {
  server::ReferenceServer server(sampleServer());
  server.start();
  httplib::Client(server.baseUrl()).Get("/t/imp?ad=banner-1");  // an earlier visitor's

  TemporaryFolder folder;
  const DemoRun run =
      runDemo(folder, "--quiet --placement banner-interstitial --server " + server.endpointUrl());
  ASSERT_EQ(run.exitCode, 0) << run.output;
  ASSERT_EQ(run.summary["placements"].size(), 1u);
  EXPECT_EQ(run.summary["beaconsObserved"], true);
  expectRow(run.summary, "banner-interstitial", sampleTour.at("banner-interstitial"));
  EXPECT_EQ((*rowOf(run.summary, "banner-interstitial"))["format"], "banner");
}

// A server that shows neither its answer nor its beacons: the user learns the ad's format
// from the screen, and the summary says the beacons went unseen.
TEST(Tour, WithoutTheServersRecordsTheAdIsLearntOnScreen) {
  server::ReferenceServer reference(sampleServer());
  reference.start();
  // Only the placements request goes through it; ads and beacons name the reference server.
  LoopbackServer front;
  front.http.Post("/srv", [&](const httplib::Request& request, httplib::Response& response) {
    const auto answer =
        httplib::Client(reference.baseUrl()).Post("/srv", request.body, "application/json");
    response.status = answer ? answer->status : 502;
    if (answer) response.set_content(answer->body, "application/json");
  });
  front.start();

  TemporaryFolder folder;
  const DemoRun run =
      runDemo(folder, "--quiet --placement mraid-open --server " + front.url("/srv"));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.summary["beaconsObserved"], false);
  const JSON* row = rowOf(run.summary, "mraid-open");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)["format"], "mraid");
  EXPECT_EQ((*row)["expected"], "");
  EXPECT_EQ((*row)["result"], "ok");
  EXPECT_EQ(strings((*row)["events"]), sampleTour.at("mraid-open").events);
  EXPECT_NE(run.output.find("not observed"), std::string::npos) << run.output;
}

TEST(Tour, SnapshotsArePicturesOfTheScreenAlongTheWay) {
  TemporaryFolder folder;
  const auto pictures = folder.path() / "snapshots";
  const DemoRun run = runDemo(folder, "--quiet --placement video-with-landing-card --snapshots '" +
                                          pictures.string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(pictures)) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_THAT(entry.path().filename().string(), ::testing::StartsWith("video-with-landing-card"));
    EXPECT_EQ(readFile(entry.path()).substr(0, 8), "\x89PNG\r\n\x1a\n");
    ++count;
  }
  EXPECT_GE(count, 2);  // the video playing, its landing card
}

// A placement that does not come out as its ad implies fails the run, and says so.
TEST(Tour, AnAdThatNeverLoadsFailsTheRun) {
  TemporaryFolder folder;
  const JSON banner = {{"ctv", "{server}/assets/no-such-picture.png"},
                       {"imp", "{server}/t/imp?ad=lost-1"}};
  writeFile(folder.path() / "campaigns.json",
            campaignsFor(
                "zelvora-demo",
                {{"lost-banner",
                  placementObject("enabled", JSON::array({adObject("lost-1", "banner", banner)}))}})
                .dump());
  const DemoRun run =
      runDemo(folder, "--quiet --campaigns '" + (folder.path() / "campaigns.json").string() + "'");
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_EQ(run.summary["allAsExpected"], false);
  const JSON* row = rowOf(run.summary, "lost-banner");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)["expected"], "ok");
  EXPECT_EQ((*row)["result"], "never ready");
  EXPECT_NE(run.output.find("never ready (expected ok)"), std::string::npos) << run.output;
}

TEST(Tour, ListShowsEachPlacementsStatusFormatAndFate) {
  TemporaryFolder folder;
  const DemoRun run = runDemo(folder, "--quiet --list");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  std::map<std::string, std::string> lines;
  // From the heading on: a sanitized build's leak checker may say which suppressions it used
  // before it.
  std::istringstream text(
      run.output.substr(std::min(run.output.find("PLACEMENT"), run.output.size())));
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    std::string id, rest, word;
    words >> id;
    while (words >> word) rest += (rest.empty() ? "" : " ") + word;
    lines[id] = rest;
  }
  EXPECT_EQ(lines.size(), answerOrder.size() + 1);  // and the heading
  EXPECT_EQ(lines["banner-interstitial"], "enabled banner registered");
  EXPECT_EQ(lines["mraid-fallback"], "enabled mraid registered");
  EXPECT_EQ(lines["vast-interstitial"], "enabled videoVast registered");
  EXPECT_EQ(lines["disabled-placement"], "paused banner registered");
  EXPECT_EQ(lines["empty-placement"], "enabled - no ads");
  EXPECT_EQ(lines["rewarded-placement"], "enabled rewarded video left out");
}

}  // namespace
}  // namespace zelvora::test
