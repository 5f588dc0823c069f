#include "tools/SdkDirectories.h"

#include "zelvora/platform/Directories.h"

namespace zelvora {

std::filesystem::path sdkTemporaryDirectory() {
  return platform::temporaryDirectory() / "zelvora";
}

std::filesystem::path sdkCachesDirectory() {
  return platform::cachesDirectory() / "zelvora";
}

}  // namespace zelvora
