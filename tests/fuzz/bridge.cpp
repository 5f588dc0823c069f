// Messages an MRAID creative posts to "mraidHostBridge": one per line of the input (JSON, or
// else the line as a string), posted to the ad's page while the ad is ready, then again while
// it is on screen. Its "mraid.js" comes from the reference server on loopback; everything else
// the messages reach for fails at once, off the machine.
#include <sstream>

#include "ControllerAccess.h"
#include "FuzzWorld.h"
#include "adunit/HtmlAd.h"
#include "placement/Placement.h"
#include "util/TestingReset.h"
#include "zelvora/ZelController.h"
#include "zelvora/server/ReferenceServer.h"

using namespace zelvora;

namespace {

constexpr std::size_t kMaxMessages = 16;

server::ReferenceServer* assetServer = nullptr;

JSON answer() {
  const std::string elsewhere = "http://ads.example.com/t/";
  JSON data = {{"isMraid", true},
               {"markup", "<script src='mraid.js'></script><p>creative</p>"},
               {"imp", elsewhere + "imp?ad=m"},
               {"clickTracking", elsewhere + "click?ad=m"},
               {"adCloseBeaconUrl", elsewhere + "close?length={length}"}};
  JSON ad = {{"adId", "m"},
             {"ad", {{"type", "interstitial"}, {"subtype", "mraidTag"}, {"data", data}}}};
  JSON placements = {{"p", {{"name", "p"}, {"status", "enabled"}, {"ads", JSON::array({ad})}}}};
  return {{"data",
           {{"assetBaseUrl", assetServer->baseUrl() + "/assets/"}, {"placements", placements}}}};
}

std::shared_ptr<HtmlAd> theAd() {
  const auto* placement = internal::ControllerAccess::placements().find("p");
  if (placement == nullptr || (*placement)->ads.empty()) return nullptr;
  return std::dynamic_pointer_cast<HtmlAd>((*placement)->ads.front().second);
}

void post(fuzz::World& world, const std::vector<JSON>& messages) {
  for (const auto& body : messages) {
    const auto ad = theAd();
    if (!ad || !ad->webView) return;
    world.driver().postMessage(ad->webView, "mraidHostBridge", body);
    world.turn(1, 0.3);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::refuseNetwork();
  server::ServerOptions options;
  options.assetDirectory = ZELVORA_SERVER_ASSETS_DIR;
  // Lives as long as the process: transfers of a world may still be under way at exit.
  assetServer = new server::ReferenceServer(options);
  assetServer->start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<JSON> messages;
  std::istringstream lines(fuzz::text(data, size));
  for (std::string line; messages.size() < kMaxMessages && std::getline(lines, line);) {
    JSON body = JSON::parse(line, nullptr, false);
    messages.push_back(body.is_discarded() ? JSON(line) : std::move(body));
  }

  fuzz::World world;
  internal::handleAnswer(answer(), std::nullopt);
  // The page is built once "mraid.js" arrived, in real time.
  world.runLoop().runUntil([] { return theAd() && theAd()->webView; }, 10);
  const auto ad = theAd();
  fuzz::check(ad && ad->webView, "the MRAID ad's page was built");
  world.driver().finishLoading(ad->webView);
  fuzz::check(world.delegate->ready.count("p") == 1, "the MRAID ad is ready");

  post(world, messages);
  ZelController::sharedInstance().showAd(world.platform().rootViewController(), "p");
  world.turn(3, 0.3);
  post(world, messages);
  world.turn(3, 0.3);
  return 0;
}
