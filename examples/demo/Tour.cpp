#include "Tour.h"

#include <algorithm>
#include <array>
#include <map>

#include "Console.h"

namespace demo {
namespace {
bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

/// The "ad" parameter of a beacon's query.
std::optional<std::string> adOf(const std::string& target) {
  const auto query = target.find('?');
  if (query == std::string::npos) return std::nullopt;
  for (std::size_t at = query + 1; at < target.size();) {
    auto end = target.find('&', at);
    if (end == std::string::npos) end = target.size();
    if (target.compare(at, 3, "ad=") == 0) return target.substr(at + 3, end - at - 3);
    at = end + 1;
  }
  return std::nullopt;
}

std::string sdkView(const std::string& placement, const DelegateLog& delegate) {
  if (contains(delegate.registered, placement)) return "registered";
  if (delegate.count("onNoAds", placement) > 0) return "no ads";
  return "left out";
}
}  // namespace

std::vector<std::string> placementsOfAnswer(const AdCatalog& catalog, const DelegateLog& delegate) {
  std::vector<std::string> placements;
  if (catalog.known()) {
    for (const auto& description : catalog.placements()) placements.push_back(description.id);
    return placements;
  }
  // No-ads reports come before onInit: they go first, as they are in the answer.
  for (const auto& id : delegate.reported) {
    if (!contains(delegate.registered, id)) placements.push_back(id);
  }
  for (const auto& id : delegate.registered) placements.push_back(id);
  return placements;
}

void printPlacements(std::ostream& out, const std::vector<std::string>& placements,
                     const AdCatalog& catalog, const DelegateLog& delegate) {
  std::vector<std::array<std::string, 4>> lines{{"PLACEMENT", "STATUS", "FORMAT", "IN THE SDK"}};
  for (const auto& id : placements) {
    const auto* description = catalog.find(id);
    lines.push_back({id, description ? description->status : "?",
                     description ? (description->format.empty() ? "-" : description->format) : "?",
                     sdkView(id, delegate)});
  }
  std::array<std::size_t, 4> width{};
  for (const auto& line : lines) {
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
  }
  for (const auto& line : lines) {
    for (std::size_t c = 0; c + 1 < line.size(); ++c)
      out << line[c] << std::string(width[c] - line[c].size() + 2, ' ');
    out << line.back() << "\n";
  }
}

std::map<std::string, std::vector<std::string>> beaconsByPlacement(
    const std::vector<std::string>& beacons, const AdCatalog& catalog) {
  std::map<std::string, std::vector<std::string>> byPlacement;
  for (const auto& target : beacons) {
    const auto ad = adOf(target);
    const auto placement = ad ? catalog.placementOfAd(*ad) : std::nullopt;
    byPlacement[placement.value_or("")].push_back(target);
  }
  return byPlacement;
}

TourReport runTour(const std::vector<std::string>& placements, ScriptedUser& user,
                   const DelegateLog& delegate, const AdCatalog& catalog,
                   const ServerRecords& records, Stage& stage, const TrackerLog& trackers) {
  TourReport report;
  for (const auto& placement : placements) {
    Console::say("--- " + placement);
    const auto* description = catalog.find(placement);
    const Visit visit = user.visit(placement, description);
    Console::say(placement + ": " + visit.result);
    TourRow row;
    row.placement = placement;
    row.format = description ? description->format : visit.format;
    if (description) row.expected = description->expected;
    row.result = visit.result;
    row.steps = visit.steps;
    row.openedUrls = visit.openedUrls;
    report.rows.push_back(std::move(row));
  }
  // Events arrive for every placement all along (preloads): read them at the end.
  for (auto& row : report.rows) row.events = delegate.events(row.placement);

  Console::say("waiting for the last beacons");
  const auto beacons = records.settledBeacons(stage);
  report.beaconsObserved = beacons.has_value();
  const auto targets = beacons.value_or(std::vector<std::string>{});
  for (const auto& target : targets) Console::say("server: beacon " + target);
  auto byPlacement = beaconsByPlacement(targets, catalog);
  for (auto& row : report.rows) row.beacons = std::move(byPlacement[row.placement]);
  report.otherBeacons = std::move(byPlacement[""]);
  const auto sent = trackers.sentTargets();
  for (auto& row : report.rows) row.beacons = inSendingOrder(std::move(row.beacons), sent);
  std::sort(report.otherBeacons.begin(), report.otherBeacons.end());
  return report;
}

}  // namespace demo
