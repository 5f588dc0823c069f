#pragma once

// The demo's desktop window (--desktop, --interactive). The build picks the file that defines
// these: Desktop.cpp with the GTK backend, NoDesktop.cpp without it.

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "AdCatalog.h"
#include "DelegateLog.h"
#include "ServerRecords.h"
#include "Stage.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/ui/Geometry.h"

namespace demo {

/// Whether this build has the desktop backend.
bool hasDesktop();

/// The tour's stage in a window of its own: URLs the ads open are recorded (for a person, with
/// `interactive`, opened).
std::unique_ptr<Stage> makeDesktopStage(zelvora::platform::HostEnvironment environment,
                                        bool interactive,
                                        std::optional<zelvora::platform::Size> window);

/// Leaves `stage` (made by makeDesktopStage) to a person until the window is closed.
void runInteractive(Stage& stage, const std::vector<std::string>& placements,
                    const AdCatalog& catalog, const DelegateLog& delegate,
                    const ServerRecords& records, std::ostream& out);

}  // namespace demo
