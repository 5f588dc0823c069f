#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "AdCatalog.h"
#include "DelegateLog.h"
#include "ScriptedUser.h"
#include "ServerRecords.h"
#include "Stage.h"
#include "TourReport.h"
#include "TrackerLog.h"

namespace demo {

/// The placements of the server's answer in its order: every one the catalogue knows, or
/// else the ones the SDK registered or reported.
std::vector<std::string> placementsOfAnswer(const AdCatalog& catalog, const DelegateLog& delegate);

/// One line per placement: its status, its ad's format and what the SDK made of it.
void printPlacements(std::ostream& out, const std::vector<std::string>& placements,
                     const AdCatalog& catalog, const DelegateLog& delegate);

/// The beacons of each placement, given to the placement whose ad they name ("ad=<adId>" in
/// their query), in arrival order; under "" the ones that name no placement.
std::map<std::string, std::vector<std::string>> beaconsByPlacement(
    const std::vector<std::string>& beacons, const AdCatalog& catalog);

/// Has the user visit each placement in turn, then reads the beacons the server received
/// and gives each to its placement: sorted, but a VAST ad's trackers first, in the order the
/// SDK sent them (`trackers`).
TourReport runTour(const std::vector<std::string>& placements, ScriptedUser& user,
                   const DelegateLog& delegate, const AdCatalog& catalog,
                   const ServerRecords& records, Stage& stage, const TrackerLog& trackers);

}  // namespace demo
