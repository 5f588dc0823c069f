#include "support/SdkTest.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iterator>

#include "net/HttpClient.h"
#include "util/TestingReset.h"
#include "zelvora/Log.h"

namespace zelvora::test {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void RecordingDelegate::onInit(const std::vector<std::string>& placementIds) {
  std::string ids;
  for (const auto& id : placementIds) ids += (ids.empty() ? "" : ",") + id;
  ++initCount;
  record("onInit", "[" + ids + "]");
}

void RecordingDelegate::onInitErrorWithReason(ZelError reason, const std::string& message) {
  const bool after = !events.empty() && events.back() == "onInitError:" + message;
  reasons.push_back(std::to_string(static_cast<int>(reason)) + ":" + message +
                    (after ? "" : " (early)"));
}

void RecordingDelegate::onAdFailedToShowWithReason(const std::string& id, ZelError reason,
                                                   const std::string& message) {
  recordReason("onAdFailedToShow", id, reason, message);
}

void RecordingDelegate::onNoAdsWithReason(const std::string& id, ZelError reason,
                                          const std::string& message) {
  recordReason("onNoAds", id, reason, message);
}

void RecordingDelegate::recordReason(const char* event, const std::string& id, ZelError reason,
                                     const std::string& message) {
  const bool after = !events.empty() && events.back() == event + (":" + id);
  reasons.push_back(id + ":" + std::to_string(static_cast<int>(reason)) + ":" + message +
                    (after ? "" : " (early)"));
}

bool RecordingDelegate::has(const std::string& event) const {
  return std::find(events.begin(), events.end(), event) != events.end();
}

TemporaryFolder::TemporaryFolder() {
  static std::atomic<int> counter = 0;
  path_ = fs::temp_directory_path() /
          ("zelvora-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  fs::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code error;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

PlatformTest::PlatformTest()
    : platform_(std::make_unique<platform::headless::HeadlessPlatform>(
          environment(), platform::headless::ClockMode::manual)) {}

platform::HostEnvironment PlatformTest::environment() const {
  platform::HostEnvironment env;
  env.configDirectory = folder.path() / "config";
  env.cachesDirectory = folder.path() / "caches";
  env.temporaryDirectory = folder.path() / "tmp";
  return env;
}

// Reset at both ends: at the start the consent record is read from this test's folder; at the
// end the ad units go while the platform they were built on still exists.
SdkTest::SdkTest() {
  internal::resetProcessState();
  setLogLevel(LogLevel::trace);
  setLogSink([this](std::string_view line) { lines.emplace_back(line); });
  sdk().setEventDelegate(delegate);
}

SdkTest::~SdkTest() {
  internal::resetProcessState();
  if (server) server->stop();
  platform_.reset();
  setLogSink(nullptr);
}

server::ReferenceServer& SdkTest::startServer(JSON campaigns, const fs::path& assets) {
  server::ServerOptions options;
  options.campaigns = std::move(campaigns);
  options.assetDirectory = assets;
  server = std::make_unique<server::ReferenceServer>(options);
  server->start();
  useServer(server->endpointUrl());
  return *server;
}

void SdkTest::initializeAndWait(const std::string& appId) {
  const int before = delegate->initCount;
  sdk().initialize(appId);
  ASSERT_TRUE(runUntil([&] { return delegate->initCount > before; })) << "no onInit in time";
}

long SdkTest::logCount(const std::string& prefix) const {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

std::vector<std::string> SdkTest::beacons() const {
  std::vector<std::string> targets;
  for (const auto& beacon : server->beacons()) {
    if (beacon.target.rfind("/t/marker", 0) != 0) targets.push_back(beacon.target);
  }
  std::sort(targets.begin(), targets.end());
  return targets;
}

bool SdkTest::waitForServer(const std::function<bool()>& done) {
  for (int slice = 0; slice < 400; ++slice) {
    if (runUntil(done, 0.05)) return true;
  }
  return false;
}

bool SdkTest::waitForBeacon(const std::string& target) {
  return waitForServer([&] {
    const auto sent = beacons();
    return std::find(sent.begin(), sent.end(), target) != sent.end();
  });
}

void SdkTest::expectBeacons(std::vector<std::string> expected) {
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(waitForServer([&] {
    const auto sent = beacons();
    return std::includes(sent.begin(), sent.end(), expected.begin(), expected.end());
  }));
  const std::string marker = "/t/marker?" + std::to_string(++markers_);
  HttpClient::shared().get(server->baseUrl() + marker);
  EXPECT_TRUE(waitForServer([&] {
    const auto records = server->beacons();
    return std::any_of(records.begin(), records.end(),
                       [&](const auto& beacon) { return beacon.target == marker; });
  }));
  EXPECT_EQ(beacons(), expected);
}

}  // namespace zelvora::test
