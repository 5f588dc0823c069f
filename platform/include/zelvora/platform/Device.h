#pragma once

#include <optional>
#include <string>

#include "zelvora/platform/HostEnvironment.h"

// Read-only device facts, answered from the installed host environment.
namespace zelvora::platform {

struct Size {
  double width = 0;
  double height = 0;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

namespace device {
std::string systemVersion();
std::string model();
}  // namespace device

namespace screen {
/// The main screen's rectangle in points.
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
