#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/AdSettings.h"
#include "zelvora/ConsentState.h"
#include "zelvora/ConsentStrings.h"
#include "zelvora/Export.h"
#include "zelvora/Json.h"
#include "zelvora/TransferLimits.h"
#include "zelvora/VastSettings.h"
#include "zelvora/Version.h"
#include "zelvora/ZelEventDeclaration.h"

namespace zelvora {

namespace platform {
class ViewController;
}
namespace internal {
struct ControllerState;
struct ControllerAccess;
}  // namespace internal

/// Where the SDK finds its ad server. Empty fields keep their defaults: the url falls back to
/// $ZELVORA_SERVER_URL, then to the SDK's own HTTPS endpoint; the CA file (PEM) to
/// $ZELVORA_CA_FILE, then to the system's CA store. Certificates are always verified.
struct ZELVORA_API ServerConfiguration {
  std::string url;
  std::string caFile;
  /// Seconds without progress after which a request fails.
  double timeoutSeconds = 60;
  /// Deadlines, sizes and the number of transfers at once.
  TransferLimits limits;
};

/// The SDK's one entry point. Use it on the main thread, after a platform backend started.
class ZELVORA_API ZelController {
 public:
  /// The process-wide controller; created on first use and never destroyed.
  static ZelController& sharedInstance();

  static constexpr const char* version = ZELVORA_VERSION_STRING;
  const std::string& sdkVersion() const;

  std::shared_ptr<ZelEventDelegate> eventDelegate() const;
  /// Held weakly: the host keeps its delegate alive.
  void setEventDelegate(const std::shared_ptr<ZelEventDelegate>& delegate);

  /// Points the SDK at another ad server (call before `initialize`).
  void setServerConfiguration(const ServerConfiguration& configuration);

  /// Turns VAST video for "videoVast" ads on or off, with its limits (call before
  /// `initialize`: ads preloaded already keep what they were loaded with).
  void setVastSettings(const VastSettings& settings);
  const VastSettings& vastSettings() const;

  /// Retries, expiry, pacing and test mode. Values below zero (a first retry delay of zero too)
  /// keep their defaults. At any time: retries already scheduled keep their times; the time to
  /// live, pacing and test mode apply at once (the loaded ad expires by the new time to live,
  /// the pause under way ends by the new pause).
  void setAdSettings(const AdSettings& settings);
  const AdSettings& adSettings() const;

  /// Builds now what the first web ad would build while it preloads: the web engine's first
  /// view and its web process (on the desktop about 50 ms of the main thread, in one piece
  /// WebKit cannot split). Call it behind a loading screen of the host's, before `initialize`;
  /// without it that cost falls into the preload of the first HTML or MRAID ad. The SDK never
  /// does it by itself: a host that shows no web ads does not pay for it.
  void warmUp();

  /// Posts the signed getPlacements request; the outcome arrives through the delegate,
  /// always ending with `onInit`. Ignored once the SDK is initialised.
  void initialize(const std::string& appId);
  /// Whether `showAd` would now present the placement's ad: the SDK is initialised, the
  /// placement enabled, its ad loaded and not already showing. On the main thread, as every
  /// call; false without a platform backend.
  bool isReady(const std::string& placementId) const;
  /// Shows the ad of an enabled placement over `presentingViewController`.
  void showAd(const std::shared_ptr<platform::ViewController>& presentingViewController,
              const std::string& placementId);

  /// The consent record: "state", "changed" and, while a change waits to be sent, "wording"
  /// and "lastChangedTs". Reading it does not consume the change.
  JSON getConsentData();
  ConsentState getConsentState() const;
  /// Records the user's consent decision; `obtainedTimestampInSec` in seconds since 1970.
  void updateContestState(ConsentState state, const std::string& wording,
                          std::int64_t obtainedTimestampInSec);
  /// Replaces the consent strings (an empty member: not set), kept with the record. Strings of
  /// the wrong shape are refused with one console line and the former ones kept: returns
  /// whether they were taken. They show in `getConsentData` too.
  bool setConsentStrings(const ConsentStrings& strings);
  ConsentStrings consentStrings() const;

  bool isInitialized() const;
  const std::optional<JSON>& additions() const;
  void setAdditions(std::optional<JSON> additions);
  /// Sets "emulatedIp" in `additions` when that holds an object; never creates `additions`.
  void addEmulatedIp(const std::string& ip);
  /// Accepted for compatibility; does nothing.
  void setCourse(const std::string& course);
  const std::optional<std::string>& assetBaseUrl() const;

 private:
  // The SDK's own parts reach the registry, the REST client, the consent manager and the event
  // path through internal::ControllerAccess (src/ControllerAccess.h); hosts see none of them.
  friend struct internal::ControllerAccess;

  ZelController();
  ~ZelController();
  ZelController(const ZelController&) = delete;
  ZelController& operator=(const ZelController&) = delete;

  const std::unique_ptr<internal::ControllerState> state_;
};

}  // namespace zelvora
