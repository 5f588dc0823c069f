#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/ConsentState.h"
#include "zelvora/Export.h"
#include "zelvora/Json.h"
#include "zelvora/TransferLimits.h"
#include "zelvora/Version.h"
#include "zelvora/ZelError.h"
#include "zelvora/ZelEventDeclaration.h"
#include "zelvora/util/OrderedMap.h"

namespace zelvora {

namespace platform {
class ViewController;
}
class Placement;
class RESTClient;
class ConsentManager;
namespace internal {
ZELVORA_API void resetProcessState();
ZELVORA_API void handleAnswer(std::optional<JSON> json, const std::optional<std::string>& error);
}  // namespace internal

using PlacementMap = OrderedMap<std::string, std::shared_ptr<Placement>>;

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
  const std::string& sdkVersion() const { return sdkVersion_; }

  std::shared_ptr<ZelEventDelegate> eventDelegate() const { return eventDelegate_.lock(); }
  /// Held weakly: the host keeps its delegate alive.
  void setEventDelegate(const std::shared_ptr<ZelEventDelegate>& delegate);

  /// Points the SDK at another ad server (call before `initialize`).
  void setServerConfiguration(const ServerConfiguration& configuration);

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

  bool isInitialized() const { return isInitialized_; }
  void setIsInitialized(bool value) { isInitialized_ = value; }
  PlacementMap& placements() { return placements_; }
  const std::optional<JSON>& additions() const { return additions_; }
  void setAdditions(std::optional<JSON> additions) { additions_ = std::move(additions); }
  /// Sets "emulatedIp" in `additions` when that holds an object; never creates `additions`.
  void addEmulatedIp(const std::string& ip);
  /// Accepted for compatibility; does nothing.
  void setCourse(const std::string& course);
  const std::optional<std::string>& assetBaseUrl() const { return assetBaseUrl_; }

  /// Writes the event's trace line and calls the delegate's matching callback.
  void triggerPlacementEvent(Event event, const std::string& placementId);

  RESTClient& restClient() { return *restClient_; }
  ConsentManager& consentManager() { return *consentManager_; }

 private:
  // Tests start fresh SDK worlds in one process through it, and fuzz the answer's handling.
  friend void internal::resetProcessState();
  friend void internal::handleAnswer(std::optional<JSON> json,
                                     const std::optional<std::string>& error);

  ZelController();
  ~ZelController();
  void cleanUpTempFiles();
  void handleAnswer(std::optional<JSON> json, const std::optional<std::string>& error,
                    ZelError reason = ZelError::network);
  /// One console line with `message`, then `adFailedToShow` for the placement.
  void failToShow(const std::string& placementId, ZelError reason, const std::string& message);

  const std::string sdkVersion_ = version;
  std::weak_ptr<ZelEventDelegate> eventDelegate_;
  bool isInitialized_ = false;
  std::unique_ptr<RESTClient> restClient_;
  std::unique_ptr<ConsentManager> consentManager_;
  PlacementMap placements_;
  std::optional<JSON> additions_;
  std::optional<std::string> assetBaseUrl_;
};

}  // namespace zelvora
