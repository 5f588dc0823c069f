#pragma once

#include <optional>
#include <string>

namespace zelvora {

/// Local paths of the SDK's own downloaded assets, shared by every ad of the process. Used on
/// the main thread only.
struct Asset {
  static std::optional<std::string> mraidJSPath;
  static std::optional<std::string> iconSoundOnPath;
  static std::optional<std::string> iconSoundOffPath;
};

}  // namespace zelvora
