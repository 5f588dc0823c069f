// zelvora-demo: a host application in miniature. It starts the reference ad server on
// loopback (unless --server names another), initialises the SDK against it, and prints the
// SDK's console lines, the delegate's callbacks and the beacons the server received.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/server/ReferenceServer.h"

namespace {

struct Options {
  std::string serverUrl;
  std::string appId = "zelvora-demo";
  std::string campaignsFile = ZELVORA_SERVER_DATA_DIR "/campaigns/sample.json";
};

/// Prints every callback and remembers how initialisation ended.
class PrintingDelegate : public zelvora::ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override {
    std::string ids;
    for (const auto& id : placementIds) ids += (ids.empty() ? "" : ", ") + id;
    print("onInit [" + ids + "]");
    initDone = true;
  }
  void onInitError(const std::string& message) override {
    print("onInitError " + message);
    initFailed = true;
  }
  void onNoAds(const std::string& id) override { print("onNoAds " + id); }
  void onAdReady(const std::string& id) override { print("onAdReady " + id); }
  void onAdShown(const std::string& id) override { print("onAdShown " + id); }
  void onAdFailedToShow(const std::string& id) override { print("onAdFailedToShow " + id); }
  void onAdClose(const std::string& id) override { print("onAdClose " + id); }
  void onAdClick(const std::string& id) override { print("onAdClick " + id); }

  bool initDone = false;
  bool initFailed = false;

 private:
  static void print(const std::string& line) { std::cout << "[delegate] " << line << std::endl; }
};

std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 < argc && flag == "--server") {
      options.serverUrl = argv[++i];
    } else if (i + 1 < argc && flag == "--app-id") {
      options.appId = argv[++i];
    } else if (i + 1 < argc && flag == "--campaigns") {
      options.campaignsFile = argv[++i];
    } else {
      std::cerr << "usage: zelvora-demo [--server URL] [--app-id ID] [--campaigns FILE]\n";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseArguments(argc, argv);
  if (!options) return 2;

  zelvora::setLogSink([](std::string_view line) { std::cout << "[sdk] " << line << std::endl; });
  zelvora::platform::headless::HeadlessPlatform platform;

  std::unique_ptr<zelvora::server::ReferenceServer> server;
  std::string endpoint = options->serverUrl;
  if (endpoint.empty()) {
    try {
      zelvora::server::ServerOptions serverOptions;
      serverOptions.campaigns =
          zelvora::server::ReferenceServer::loadCampaigns(options->campaignsFile);
      serverOptions.assetDirectory = ZELVORA_SERVER_DATA_DIR "/assets";
      server = std::make_unique<zelvora::server::ReferenceServer>(serverOptions);
      server->start();
    } catch (const std::exception& error) {
      std::cerr << "zelvora-demo: " << error.what() << "\n";
      return 1;
    }
    endpoint = server->endpointUrl();
    std::cout << "[demo] reference server at " << server->baseUrl() << std::endl;
  }

  auto& sdk = zelvora::ZelController::sharedInstance();
  auto delegate = std::make_shared<PrintingDelegate>();
  sdk.setEventDelegate(delegate);
  zelvora::ServerConfiguration configuration;
  configuration.url = endpoint;
  sdk.setServerConfiguration(configuration);
  std::cout << "[demo] SDK " << sdk.sdkVersion() << ", initialising app " << options->appId
            << " against " << endpoint << std::endl;
  sdk.initialize(options->appId);

  // The HTTP client gives up after its own time-out, so this always ends.
  platform.runLoop().runUntil([&] { return delegate->initDone; }, 120);
  platform.runLoop().runPending();

  if (server) {
    for (const auto& beacon : server->beacons())
      std::cout << "[server] beacon " << beacon.method << " " << beacon.target << std::endl;
    for (const auto& request : server->placementsRequests())
      std::cout << "[server] getPlacements from app " << request.body["data"].value("app", "")
                << ", signature " << (request.signatureValid ? "valid" : "INVALID") << std::endl;
  }
  if (!delegate->initDone || delegate->initFailed) {
    std::cout << "[demo] initialisation failed" << std::endl;
    return 1;
  }
  std::cout << "[demo] initialised with " << sdk.placements().size() << " placement(s)"
            << std::endl;
  return 0;
}
