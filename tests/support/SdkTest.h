#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "zelvora/Json.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/server/ReferenceServer.h"

namespace zelvora::test {

/// Records every delegate callback as one string: "onInit:[a,b]", "onInitError:message",
/// "onNoAds:p1", "onAdReady:p1", ...
class RecordingDelegate : public ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override;
  void onInitError(const std::string& message) override;
  void onNoAds(const std::string& id) override { events.push_back("onNoAds:" + id); }
  void onAdReady(const std::string& id) override { events.push_back("onAdReady:" + id); }
  void onAdShown(const std::string& id) override { events.push_back("onAdShown:" + id); }
  void onAdFailedToShow(const std::string& id) override {
    events.push_back("onAdFailedToShow:" + id);
  }
  void onAdClose(const std::string& id) override { events.push_back("onAdClose:" + id); }
  void onAdClick(const std::string& id) override { events.push_back("onAdClick:" + id); }

  std::vector<std::string> events;
  int initCount = 0;
};

/// A folder of its own under the system's temporary directory, removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Builders for the server's answer.
JSON adObject(const std::string& adId, const std::string& subtype, JSON data = JSON::object(),
              const std::string& type = "interstitial");
JSON placementObject(const std::string& status, JSON ads);
/// A campaigns document with one app.
JSON campaignsFor(const std::string& appId, JSON placements);

/// A fresh SDK world per test: the config, caches and temporary directories in a private
/// folder, the headless platform on a manual clock, a recording delegate, and every console
/// line captured.
class SdkTest : public ::testing::Test {
 protected:
  SdkTest();
  ~SdkTest() override;

  /// Starts the reference server with `campaigns` and points the SDK at it.
  server::ReferenceServer& startServer(JSON campaigns);
  /// Points the SDK at `url` (a test server of the test's own).
  void useServer(const std::string& url, double timeoutSeconds = 60);
  /// Calls initialize and runs the main queue until the next onInit (at most 20 s).
  void initializeAndWait(const std::string& appId);
  /// Runs the main queue until `done` holds (at most `seconds` of real time).
  bool runUntil(const std::function<bool()>& done, double seconds = 20);

  bool logged(const std::string& line) const;
  platform::HostEnvironment environment() const;

  ZelController& sdk() { return ZelController::sharedInstance(); }
  platform::headless::RunLoop& runLoop() { return platform_->runLoop(); }

  TemporaryFolder folder;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::vector<std::string> lines;
  std::unique_ptr<platform::headless::HeadlessPlatform> platform_;
  std::unique_ptr<server::ReferenceServer> server;
};

}  // namespace zelvora::test
