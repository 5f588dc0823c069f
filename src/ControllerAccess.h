#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Json.h"
#include "zelvora/ZelController.h"
#include "zelvora/ZelError.h"
#include "zelvora/ZelEventDeclaration.h"
#include "zelvora/util/OrderedMap.h"

namespace zelvora {

class Ad;
class Placement;
class RESTClient;
class ConsentManager;
class ShowingScreens;

using PlacementMap = OrderedMap<std::string, std::shared_ptr<Placement>>;

namespace internal {

/// What the controller holds, out of the public header.
struct ControllerState {
  ControllerState();
  ~ControllerState();

  const std::string sdkVersion = ZelController::version;
  std::weak_ptr<ZelEventDelegate> eventDelegate;
  bool isInitialized = false;
  std::unique_ptr<RESTClient> restClient;
  std::unique_ptr<ConsentManager> consentManager;
  /// Shared: the window's observers and posted tasks hold it weakly.
  std::shared_ptr<ShowingScreens> screens;
  PlacementMap placements;
  std::optional<JSON> additions;
  std::optional<std::string> assetBaseUrl;
  VastSettings vast;
  /// When the last showing's screens went, on the monotonic clock: the pause between ads
  /// counts from there.
  std::optional<double> lastShowingEnded;
  /// Tells the timer for the pause's end set last from earlier ones.
  std::uint64_t pauseTimer = 0;
  AdSettings ads;
  /// Counts the answers taken in and the resets: a registration under way belongs to the
  /// latest answer or is abandoned.
  std::uint64_t answers = 0;
  /// Every ad `showAd` rendered: only these can be presenting, so the screen is free when none
  /// of them is, however many placements there are.
  std::vector<std::weak_ptr<Ad>> rendered;
};

/// The shared controller's internals, for the SDK's own parts and its tests: the registry of
/// placements, the REST client, the consent manager and the path every placement event takes.
struct ControllerAccess {
  static ControllerState& state() { return *ZelController::sharedInstance().state_; }

  static PlacementMap& placements() { return state().placements; }
  static RESTClient& restClient() { return *state().restClient; }
  static ConsentManager& consentManager() { return *state().consentManager; }
  static ShowingScreens& screens() { return *state().screens; }

  /// No ad is on screen or on its way there, and the pause between ads has passed.
  static bool screenFree();
  /// Seconds left of the pause between ads; zero when it has passed. The whole pause while the
  /// last showing's screens are on their way out: it begins once they have gone.
  static double pauseLeft();
  /// A showing's screens have all gone: the pause between ads starts, and every placement
  /// reconsiders (the host hears which can be shown again).
  static void showingEnded();
  /// Every placement reconsiders when the pause between ads ends (again, for a changed pause).
  static void schedulePauseEnd();
  /// A new backend started: showings on the one before end, the pause between ads counts again
  /// from now (its clock went with that backend), and every ad is loaded again.
  static void backendStarted();
  /// The ad settings changed: expiries and the pause's end move, placements reconsider.
  static void adSettingsChanged();
  /// Every placement acts on what waited and tells the host which turned ready.
  static void reconsiderAll();

  /// Writes the event's trace line and calls the delegate's matching callback.
  static void triggerPlacementEvent(Event event, const std::string& placementId);
  /// Takes `json`, or `error` with its reason, as the answer to the getPlacements request.
  static void handleAnswer(std::optional<JSON> json, const std::optional<std::string>& error,
                           ZelError reason = ZelError::network);
};

}  // namespace internal
}  // namespace zelvora
