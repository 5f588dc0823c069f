#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "AdCatalog.h"
#include "DelegateLog.h"
#include "DesktopStage.h"
#include "ServerRecords.h"

namespace demo {

/// The host's screen for a person: one button per placement, each showing its ad. Runs until
/// the window is closed, then prints each placement's events and the beacons its ads sent.
void runInteractive(DesktopStage& stage, const std::vector<std::string>& placements,
                    const AdCatalog& catalog, const DelegateLog& delegate,
                    const ServerRecords& records, std::ostream& out);

}  // namespace demo
