#include "tools/Assets.h"

namespace zelvora {

std::optional<std::string> Asset::mraidJSPath;
std::optional<std::string> Asset::iconSoundOnPath;
std::optional<std::string> Asset::iconSoundOffPath;

}  // namespace zelvora
