#pragma once

#include <optional>
#include <string>

#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/ui/Geometry.h"

// Read-only device facts, answered from the installed host environment.
namespace zelvora::platform {

namespace device {
std::string systemVersion();
std::string model();
}  // namespace device

namespace screen {
/// The main screen's rectangle in points, in the current interface orientation.
Rect bounds();
}  // namespace screen

namespace location {
bool servicesEnabled();
std::optional<Location> lastKnownLocation();
AuthorizationStatus authorizationStatus();
}  // namespace location

namespace calendar {
AuthorizationStatus authorizationStatus();
}

namespace photoLibrary {
AuthorizationStatus authorizationStatus();
}

namespace advertising {
/// The advertising identifier as canonical upper-case UUID text.
std::string identifier();
}  // namespace advertising

namespace bundle {
std::optional<std::string> identifier();
}

}  // namespace zelvora::platform
