#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zelvora/Json.h"

namespace demo {

/// What the demo knows of one placement of the server's answer.
struct PlacementDescription {
  std::string id;
  std::string status;
  /// The ad the SDK would show: "banner", "video", "html", "mraid" (an HTML ad marked
  /// "isMraid"), or the answer's own subtype for the others; type and subtype ("rewarded
  /// video") when the SDK leaves the placement out; empty without ads.
  std::string format;
  /// That ad's "data".
  zelvora::JSON data;
  /// Every ad id of the placement: beacons name their ad.
  std::vector<std::string> adIds;
  /// The kind of result the SDK's handling leads to: "ok", "no fill", "dropped",
  /// "disabled" or "never ready". With VAST on, a "videoVast" ad's is the placement's
  /// "tourExpects", or "ok".
  std::string expected;
};

/// The placements of the server's answer, in its order. Empty when the demo does not know
/// what the server answered; then the tour learns each ad's format from the screen.
class AdCatalog {
 public:
  AdCatalog() = default;
  /// `placements` is the answer's "placements" value (an object by id, or an array).
  explicit AdCatalog(const zelvora::JSON& placements);
  /// The placements a campaigns file gives `appId`; empty for an unknown app.
  static AdCatalog fromCampaigns(const zelvora::JSON& campaigns, const std::string& appId);

  bool known() const { return known_; }
  const std::vector<PlacementDescription>& placements() const { return placements_; }
  const PlacementDescription* find(const std::string& placementId) const;
  /// The placement whose ads include `adId`.
  std::optional<std::string> placementOfAd(const std::string& adId) const;

 private:
  bool known_ = false;
  std::vector<PlacementDescription> placements_;
};

}  // namespace demo
