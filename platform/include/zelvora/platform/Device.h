#pragma once

#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/ui/Geometry.h"

// Read-only device facts, answered from the installed host environment.
namespace zelvora::platform {

namespace device {
ZELVORA_API std::string systemVersion();
ZELVORA_API std::string model();
}  // namespace device

namespace screen {
/// The main screen's rectangle in points, in the current interface orientation.
ZELVORA_API Rect bounds();
}  // namespace screen

namespace location {
ZELVORA_API bool servicesEnabled();
ZELVORA_API std::optional<Location> lastKnownLocation();
ZELVORA_API AuthorizationStatus authorizationStatus();
}  // namespace location

namespace calendar {
ZELVORA_API AuthorizationStatus authorizationStatus();
}

namespace photoLibrary {
ZELVORA_API AuthorizationStatus authorizationStatus();
}

namespace advertising {
/// The advertising identifier as canonical upper-case UUID text.
ZELVORA_API std::string identifier();
}  // namespace advertising

namespace bundle {
ZELVORA_API std::optional<std::string> identifier();
}

}  // namespace zelvora::platform
