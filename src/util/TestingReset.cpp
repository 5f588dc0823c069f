#include "util/TestingReset.h"

#include "ControllerAccess.h"
#include "ShowingScreens.h"
#include "adunit/components/DecodedImages.h"
#include "consent/ConsentManager.h"
#include "net/HttpClient.h"
#include "placement/Placement.h"
#include "tools/Assets.h"
#include "tools/FileLoader.h"
#include "zelvora/ZelController.h"

namespace zelvora::internal {

void resetProcessState() {
  auto& controller = ZelController::sharedInstance();
  auto& state = ControllerAccess::state();
  // Earlier transfers' completions would reach the new world: an old answer's placements, an
  // old download's asset path.
  HttpClient::shared().dropPendingCompletions();
  FileLoader::forgetDownloads();
  // A test's server stops next: it need not wait for connections kept for reuse.
  HttpClient::shared().closeIdleConnections(0.5);
  state.placements.clear();
  state.rendered.clear();
  state.eventDelegate.reset();
  state.isInitialized = false;
  ++state.answers;
  state.additions.reset();
  state.assetBaseUrl.reset();
  state.vast = {};
  state.ads = {};
  state.lastShowingEnded.reset();
  Placement::seedJitter(0);
  DecodedImages::reset();
  state.consentManager = std::make_unique<ConsentManager>();
  state.screens = std::make_shared<ShowingScreens>();
  controller.setServerConfiguration({});
  Asset::mraidJSPath.reset();
  Asset::iconSoundOnPath.reset();
  Asset::iconSoundOffPath.reset();
}

void handleAnswer(std::optional<JSON> json, const std::optional<std::string>& error) {
  ControllerAccess::handleAnswer(std::move(json), error);
}

}  // namespace zelvora::internal
