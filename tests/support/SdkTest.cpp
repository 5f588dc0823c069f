#include "support/SdkTest.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "zelvora/Log.h"

namespace zelvora::test {

void RecordingDelegate::onInit(const std::vector<std::string>& placementIds) {
  std::string ids;
  for (const auto& id : placementIds) ids += (ids.empty() ? "" : ",") + id;
  events.push_back("onInit:[" + ids + "]");
  ++initCount;
}

void RecordingDelegate::onInitError(const std::string& message) {
  events.push_back("onInitError:" + message);
}

TemporaryFolder::TemporaryFolder() {
  static std::atomic<int> counter = 0;
  path_ = std::filesystem::temp_directory_path() /
          ("zelvora-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code error;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

JSON adObject(const std::string& adId, const std::string& subtype, JSON data,
              const std::string& type) {
  return JSON{{"adId", adId}, {"ad", {{"type", type}, {"subtype", subtype}, {"data", data}}}};
}

JSON placementObject(const std::string& status, JSON ads) {
  return JSON{{"name", "test placement"}, {"status", status}, {"ads", std::move(ads)}};
}

JSON campaignsFor(const std::string& appId, JSON placements) {
  return JSON{{"apps", {{appId, {{"placements", std::move(placements)}}}}}};
}

SdkTest::SdkTest() {
  setLogSink([this](std::string_view line) { lines.emplace_back(line); });
  platform_ = std::make_unique<platform::headless::HeadlessPlatform>(
      environment(), platform::headless::ClockMode::manual);
  sdk().setEventDelegate(delegate);
}

SdkTest::~SdkTest() {
  if (server) server->stop();
  platform_.reset();
  setLogSink(nullptr);
}

platform::HostEnvironment SdkTest::environment() const {
  platform::HostEnvironment env;
  env.configDirectory = folder.path() / "config";
  env.cachesDirectory = folder.path() / "caches";
  env.temporaryDirectory = folder.path() / "tmp";
  return env;
}

server::ReferenceServer& SdkTest::startServer(JSON campaigns) {
  server::ServerOptions options;
  options.campaigns = std::move(campaigns);
  server = std::make_unique<server::ReferenceServer>(options);
  server->start();
  useServer(server->endpointUrl());
  return *server;
}

void SdkTest::useServer(const std::string& url, double timeoutSeconds) {
  ServerConfiguration configuration;
  configuration.url = url;
  configuration.timeoutSeconds = timeoutSeconds;
  sdk().setServerConfiguration(configuration);
}

void SdkTest::initializeAndWait(const std::string& appId) {
  const int before = delegate->initCount;
  sdk().initialize(appId);
  ASSERT_TRUE(runUntil([&] { return delegate->initCount > before; }))
      << "no onInit within the time limit";
}

bool SdkTest::runUntil(const std::function<bool()>& done, double seconds) {
  return runLoop().runUntil(done, seconds);
}

bool SdkTest::logged(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace zelvora::test
