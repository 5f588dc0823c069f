#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Stage.h"
#include "zelvora/Json.h"
#include "zelvora/server/ReferenceServer.h"

namespace demo {

/// What the ad server recorded while the demo ran: the beacons it received and the answer it
/// gave the SDK. The demo's own server is asked directly; a server elsewhere through its
/// GET /debug/beacons and /debug/requests, when it has them.
class ServerRecords {
 public:
  explicit ServerRecords(const zelvora::server::ReferenceServer& server);
  /// `endpoint` is the getPlacements URL the SDK uses.
  explicit ServerRecords(const std::string& endpoint);

  /// The targets (path and query) of the beacons that arrived since this object was made,
  /// in arrival order; none when the server does not show them.
  std::optional<std::vector<std::string>> beacons() const;
  /// Beacons are fire-and-forget: runs the stage's main queue until none arrived for two
  /// seconds, then returns them (or, unseen, after a second).
  std::optional<std::vector<std::string>> settledBeacons(Stage& stage) const;
  /// The "placements" the server answers `appId`, learnt by sending it again the SDK's own
  /// signed request; none when the server does not show its requests.
  std::optional<zelvora::JSON> answeredPlacements(const std::string& appId) const;

 private:
  std::optional<zelvora::JSON> get(const std::string& path) const;

  const zelvora::server::ReferenceServer* server_ = nullptr;
  std::string endpoint_;
  /// The scheme, host and port of the endpoint.
  std::string origin_;
  /// Beacons recorded before the demo started: another run's.
  std::size_t earlier_ = 0;
};

}  // namespace demo
