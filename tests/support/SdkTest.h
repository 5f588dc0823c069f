#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ControllerAccess.h"
#include "placement/Placement.h"
#include "zelvora/Json.h"
#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/server/ReferenceServer.h"

namespace zelvora::test {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path);
inline void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

/// Records every delegate callback as one string: "onInit:[a,b]", "onInitError:message",
/// "onNoAds:p1", "onAdReady:p1", ...; and the reasons apart, in `reasons`.
class RecordingDelegate : public ZelExtendedEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override;
  void onInitError(const std::string& message) override { record("onInitError", message); }
  void onNoAds(const std::string& id) override { record("onNoAds", id); }
  void onAdReady(const std::string& id) override { record("onAdReady", id); }
  void onAdShown(const std::string& id) override { record("onAdShown", id); }
  void onAdFailedToShow(const std::string& id) override { record("onAdFailedToShow", id); }
  void onAdClose(const std::string& id) override { record("onAdClose", id); }
  void onAdClick(const std::string& id) override { record("onAdClick", id); }
  /// "<code>:<message>" and "<placement>:<code>:<message>", marked "(early)" when the callback
  /// the reason explains was not the last one recorded.
  void onInitErrorWithReason(ZelError reason, const std::string& message) override;
  void onAdFailedToShowWithReason(const std::string& id, ZelError reason,
                                  const std::string& message) override;
  void onNoAdsWithReason(const std::string& id, ZelError reason,
                         const std::string& message) override;
  /// Apart from `events`, in `loading`: "failed:<placement>:<code>" and "readyAgain:<placement>".
  void onAdFailedToLoadWithReason(const std::string& id, ZelError reason,
                                  const std::string&) override {
    loading.push_back("failed:" + id + ":" + std::to_string(static_cast<int>(reason)));
  }
  void onAdReadyAgain(const std::string& id) override { loading.push_back("readyAgain:" + id); }
  bool has(const std::string& event) const;

  std::vector<std::string> events;
  std::vector<std::string> reasons;
  std::vector<std::string> loading;
  int initCount = 0;
  /// Called with each event as it is recorded.
  std::function<void(const std::string& event)> observer;

 private:
  void recordReason(const char* event, const std::string& id, ZelError reason,
                    const std::string& message);
  void record(const char* name, const std::string& id) {
    events.push_back(name + (":" + id));
    if (observer) observer(events.back());
  }
};

/// A folder of its own under the system's temporary directory, removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

/// Builders for the server's answer, and a campaigns document with one app.
inline JSON adObject(const std::string& adId, const std::string& subtype,
                     JSON data = JSON::object(), const std::string& type = "interstitial") {
  return {{"adId", adId}, {"ad", {{"type", type}, {"subtype", subtype}, {"data", data}}}};
}
inline JSON placementObject(const std::string& status, JSON ads) {
  return {{"name", "test placement"}, {"status", status}, {"ads", std::move(ads)}};
}
inline JSON campaignsFor(const std::string& appId, JSON placements) {
  return {{"apps", {{appId, {{"placements", std::move(placements)}}}}}};
}
/// App "app" with one enabled placement "p" holding one ad.
inline JSON oneAdCampaign(const std::string& adId, const std::string& subtype, JSON data) {
  return campaignsFor(
      "app", {{"p", placementObject("enabled", JSON::array({adObject(adId, subtype, data)}))}});
}

/// The current ad unit of placement `placementId` (its first until one fails), as a `T`.
template <class T>
std::shared_ptr<T> firstAdOf(const std::string& placementId = "p") {
  const auto* placement = internal::ControllerAccess::placements().find(placementId);
  return placement ? std::dynamic_pointer_cast<T>((*placement)->currentAd()) : nullptr;
}

/// The headless platform on a manual clock, with its config, caches and temporary
/// directories in a private folder, and a driver playing the user.
class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest();
  platform::HostEnvironment environment() const;
  platform::headless::RunLoop& runLoop() { return platform_->runLoop(); }
  std::shared_ptr<platform::ViewController> root() const { return platform_->rootViewController(); }
  std::shared_ptr<platform::ViewController> top() const {
    return platform_->window()->topViewController();
  }

  TemporaryFolder folder;
  std::unique_ptr<platform::headless::HeadlessPlatform> platform_;
  platform::headless::TestDriver driver{*platform_};
};

/// A fresh SDK world per test, also when one process runs several: the platform, the SDK's
/// process-wide state reset, a recording delegate, every console line captured, and the
/// reference server on demand.
class SdkTest : public PlatformTest {
 protected:
  SdkTest();
  ~SdkTest() override;

  /// Starts the reference server (serving `assets` under /assets/) and points the SDK at it.
  server::ReferenceServer& startServer(JSON campaigns, const fs::path& assets = {});
  /// Points the SDK at `url` (a test server of the test's own).
  void useServer(const std::string& url, double timeoutSeconds = 60, std::string caFile = {},
                 TransferLimits limits = {}) {
    sdk().setServerConfiguration(
        {.url = url, .caFile = caFile, .timeoutSeconds = timeoutSeconds, .limits = limits});
  }
  /// Calls initialize and runs the main queue until the next onInit (at most 20 s).
  void initializeAndWait(const std::string& appId);
  /// Runs the main queue until `done` holds (at most `seconds` of real time).
  bool runUntil(const std::function<bool()>& done, double seconds = 20) {
    return runLoop().runUntil(done, seconds);
  }
  /// Runs the main queue with the manual clock moving on in steps of `step` seconds until
  /// `done` holds, for at most `clockSeconds` on that clock; what the network does meanwhile
  /// has a moment of real time at each step.
  bool advanceUntil(const std::function<bool()>& done, double clockSeconds, double step = 0.1) {
    for (double passed = 0; passed <= clockSeconds; passed += step) {
      if (runLoop().runUntil(done, 0.05)) return true;
      runLoop().advance(step);
    }
    return done();
  }
  /// How many console lines start with `prefix`.
  long logCount(const std::string& prefix) const;
  bool logged(const std::string& prefix) const { return logCount(prefix) > 0; }

  /// The beacon targets the server recorded, sorted (beacons travel concurrently), markers
  /// left out.
  std::vector<std::string> beacons() const;
  /// Waits (at most 20 s) until the server recorded `target`.
  bool waitForBeacon(const std::string& target);
  /// Waits for every beacon of `expected`; then sends a marker beacon and, once it arrived
  /// (so a beacon sent by mistake had its chance), checks that nothing else was sent.
  void expectBeacons(std::vector<std::string> expected);

  ZelController& sdk() { return ZelController::sharedInstance(); }

  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::vector<std::string> lines;
  std::unique_ptr<server::ReferenceServer> server;

 private:
  /// Runs the main queue in short slices until `done` holds: beacons post nothing to it.
  bool waitForServer(const std::function<bool()>& done);
  int markers_ = 0;
};

}  // namespace zelvora::test
