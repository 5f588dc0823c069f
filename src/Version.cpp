#include "zelvora/Version.h"

namespace zelvora {

const char* sdkVersion() {
  return ZELVORA_VERSION_STRING;
}

}  // namespace zelvora
