#pragma once

// What the banner and click-through tests share: the reference server serving a real PNG
// from an asset folder, a second local server for images that arrive late or broken, and
// helpers to initialise the SDK with one banner placement "p", show it and read the beacons.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/ViewControllers/InterstitialViewController.h"
#include "adunit/types/InterstitialFactory.h"
#include "adunit/types/InterstitialHouseBanner.h"
#include "integration/LoopbackServer.h"
#include "net/HttpClient.h"
#include "placement/Placement.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"
#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/ui/ImageView.h"

namespace zelvora::test {

namespace fs = std::filesystem;

/// The 320x480 PNG the reference server ships with.
inline fs::path sampleBanner() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "assets" /
         "sample-banner.png";
}

class BannerFixture : public SdkTest {
 protected:
  BannerFixture() {
    fs::create_directories(assets);
    fs::copy_file(sampleBanner(), assets / "banner.png");
    const std::string png = readFile(sampleBanner());
    // Held until the test opens the gate (or for at most ten seconds).
    images.http.Get("/slow.png",
                    [gate = gate, png](const httplib::Request&, httplib::Response& response) {
                      gate.wait_for(std::chrono::seconds(10));
                      response.set_content(png, "image/png");
                    });
    // Announces the whole image, sends a tenth of it, and drops the connection.
    images.http.Get("/truncated.png", [png](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(png.size(), "image/png",
                                    [png](std::size_t, std::size_t, httplib::DataSink& sink) {
                                      sink.write(png.data(), png.size() / 10);
                                      return false;
                                    });
    });
    images.start();
  }
  ~BannerFixture() override { openGate(); }

  void openGate() {
    if (!gateOpened) opener.set_value();
    gateOpened = true;
  }

  /// The data of the banner ad: a real image, a click URL and every beacon.
  static JSON bannerData() {
    return {{"ctv", "{server}/assets/banner.png"},
            {"clk", "{server}/t/click?ad=b1"},
            {"imp", "{server}/t/imp"},
            {"extraImpBeacon", "{server}/t/imp2"},
            {"adCloseBeaconUrl", "{server}/t/close?length={length}"}};
  }

  void startReferenceServer(JSON campaigns = JSON::object()) {
    server::ServerOptions options;
    options.campaigns = std::move(campaigns);
    options.assetDirectory = assets;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    useServer(server->endpointUrl());
  }

  /// Initialises the SDK with one enabled placement "p" holding one banner ad.
  void initializeWith(JSON data) {
    startReferenceServer(campaignsFor(
        "app", {{"p", placementObject("enabled", JSON::array({adObject("b1", "banner", data)}))}}));
    initializeAndWait("app");
  }

  std::shared_ptr<InterstitialHouseBanner> ad() {
    auto* placement = sdk().placements().find("p");
    if (placement == nullptr || (*placement)->ads.empty()) return nullptr;
    return std::dynamic_pointer_cast<InterstitialHouseBanner>((*placement)->ads.front().second);
  }

  /// A banner ad built as the factory builds it, outside any placement; "{server}" in `data`
  /// becomes the reference server's address.
  std::shared_ptr<InterstitialHouseBanner> makeAd(JSON data) {
    std::string text = data.dump();
    for (auto at = text.find("{server}"); at != std::string::npos; at = text.find("{server}"))
      text.replace(at, 8, server->baseUrl());
    auto unit = std::dynamic_pointer_cast<InterstitialHouseBanner>(
        InterstitialFactory::createAdUnit(adObject("b1", "banner", JSON::parse(text))));
    if (unit) unit->placementId = "p";
    return unit;
  }

  bool hasEvent(const std::string& event) const {
    return std::find(delegate->events.begin(), delegate->events.end(), event) !=
           delegate->events.end();
  }

  std::shared_ptr<platform::ViewController> root() const { return platform_->rootViewController(); }
  std::shared_ptr<InterstitialViewController> shown() const {
    return std::dynamic_pointer_cast<InterstitialViewController>(
        platform_->window()->topViewController());
  }

  /// Shows placement "p" over `host` and lets the presentation finish.
  void showAndWait(std::shared_ptr<platform::ViewController> host = nullptr) {
    sdk().showAd(host ? host : root(), "p");
    runLoop().advance(0.3);
  }

  /// The beacon targets the server recorded, sorted (beacons travel concurrently), markers
  /// left out.
  std::vector<std::string> beacons() const {
    std::vector<std::string> targets;
    for (const auto& beacon : server->beacons()) {
      if (beacon.target.rfind("/t/marker", 0) != 0) targets.push_back(beacon.target);
    }
    std::sort(targets.begin(), targets.end());
    return targets;
  }

  /// Runs the main queue until the server's records satisfy `done`. Beacons post nothing to
  /// the main queue, hence the short slices.
  bool waitForServer(const std::function<bool()>& done) {
    for (int slice = 0; slice < 400; ++slice) {
      if (runUntil(done, 0.05)) return true;
    }
    return false;
  }

  /// Sends a marker beacon and waits until the server has it: a beacon sent before it by
  /// mistake has had its chance to arrive.
  void flushBeacons() {
    const std::string marker = "/t/marker?" + std::to_string(++markers);
    HttpClient::shared().get(server->baseUrl() + marker);
    ASSERT_TRUE(waitForServer([&] {
      const auto records = server->beacons();
      return std::any_of(records.begin(), records.end(),
                         [&](const auto& beacon) { return beacon.target == marker; });
    }));
  }

  /// Waits for every beacon of `expected`, then checks that nothing else was sent.
  void expectBeacons(std::vector<std::string> expected) {
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(waitForServer([&] {
      const auto sent = beacons();
      return std::includes(sent.begin(), sent.end(), expected.begin(), expected.end());
    }));
    flushBeacons();
    EXPECT_EQ(beacons(), expected);
  }

  platform::headless::TestDriver driver{*platform_};
  fs::path assets = folder.path() / "assets";
  LoopbackServer images;

 private:
  std::promise<void> opener;
  std::shared_future<void> gate = opener.get_future().share();
  bool gateOpened = false;
  int markers = 0;
};

}  // namespace zelvora::test
