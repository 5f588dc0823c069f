#include "AdCatalog.h"

#include <algorithm>
#include <array>

namespace demo {
namespace {
using zelvora::JSON;

std::string text(const JSON& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

const JSON& member(const JSON& object, const char* key) {
  static const JSON none;
  if (!object.is_object()) return none;
  const auto found = object.find(key);
  return found == object.end() ? none : *found;
}

/// An ad the SDK builds a unit for: an interstitial of a format it knows.
bool isBuildable(const JSON& adObject) {
  static constexpr std::array<const char*, 6> formats{"video", "videoVast", "banner",
                                                      "html",  "jsTag",     "mraidTag"};
  const JSON& ad = member(adObject, "ad");
  const std::string subtype = text(ad, "subtype");
  return text(ad, "type") == "interstitial" &&
         std::find(formats.begin(), formats.end(), subtype) != formats.end();
}

std::string formatOf(const JSON& ad) {
  const std::string subtype = text(ad, "subtype");
  const JSON& data = member(ad, "data");
  const bool web = subtype == "html" || subtype == "jsTag" || subtype == "mraidTag";
  if (web) return member(data, "isMraid") == true ? "mraid" : "html";
  return subtype;
}

/// Mirrors how the SDK takes a placement in: no ads are reported at once, a placement whose
/// first ad is not an interstitial is left out without a word, a placement that is not
/// enabled is kept but never loads, and the first ad it can build is preloaded. Which ad it
/// shows when that one fails to load only the server knows: the campaigns name it with
/// "tourShows". VAST is on, as the demo turns it on.
PlacementDescription describe(const std::string& id, const JSON& placement) {
  PlacementDescription description;
  description.id = id;
  description.status = text(placement, "status");
  const JSON& ads = member(placement, "ads");
  if (!ads.is_array() || ads.empty()) {
    description.expected = "no fill";
    return description;
  }
  for (const auto& adObject : ads) description.adIds.push_back(text(adObject, "adId"));

  const JSON& first = member(ads[0], "ad");
  const std::string named = text(placement, "tourShows");
  const auto shown = named.empty() ? std::find_if(ads.begin(), ads.end(), isBuildable)
                                   : std::find_if(ads.begin(), ads.end(), [&](const JSON& ad) {
                                       return text(ad, "adId") == named;
                                     });
  if (shown != ads.end()) {
    description.format = formatOf(member(*shown, "ad"));
    description.data = member(member(*shown, "ad"), "data");
  } else {
    description.format = text(first, "subtype");
  }

  if (text(first, "type") != "interstitial" || text(first, "subtype") == "interactive") {
    description.expected = "dropped";
    description.format = text(first, "type") + " " + text(first, "subtype");
  } else if (description.status != "enabled") {
    description.expected = "disabled";
  } else if (shown == ads.end()) {
    description.expected = "never ready";
  } else if (description.format == "videoVast") {
    // Whether a VAST chain ends in a playable ad only its documents tell: the campaigns say
    // what the tour should see with "tourExpects" ("ok" without it).
    const std::string expects = text(placement, "tourExpects");
    description.expected = expects.empty() ? "ok" : expects;
  } else if (description.format == "mraid" &&
             text(description.data, "markup").find("mraid.fallback()") != std::string::npos) {
    // The creative hands its slot back while it preloads.
    description.expected = "no fill";
  } else {
    description.expected = "ok";
  }
  return description;
}
}  // namespace

AdCatalog::AdCatalog(const JSON& placements) : known_(true) {
  if (placements.is_object()) {
    for (const auto& [id, placement] : placements.items())
      placements_.push_back(describe(id, placement));
  } else if (placements.is_array()) {
    for (std::size_t i = 0; i < placements.size(); ++i)
      placements_.push_back(describe(std::to_string(i), placements[i]));
  }
}

AdCatalog AdCatalog::fromCampaigns(const JSON& campaigns, const std::string& appId) {
  const JSON& app = member(member(campaigns, "apps"), appId.c_str());
  if (!app.is_object()) return {};
  return AdCatalog(member(app, "placements"));
}

const PlacementDescription* AdCatalog::find(const std::string& placementId) const {
  const auto found = std::find_if(placements_.begin(), placements_.end(),
                                  [&](const auto& entry) { return entry.id == placementId; });
  return found == placements_.end() ? nullptr : &*found;
}

std::optional<std::string> AdCatalog::placementOfAd(const std::string& adId) const {
  for (const auto& placement : placements_) {
    const auto& ids = placement.adIds;
    if (std::find(ids.begin(), ids.end(), adId) != ids.end()) return placement.id;
  }
  return std::nullopt;
}

}  // namespace demo
