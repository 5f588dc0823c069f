#pragma once

#include <filesystem>

namespace zelvora {

/// The SDK's own folder in the temporary directory (ad media); emptied at every
/// initialisation.
std::filesystem::path sdkTemporaryDirectory();
/// The SDK's own folder in the caches directory (its web assets and icons).
std::filesystem::path sdkCachesDirectory();

}  // namespace zelvora
