// A host's translation unit using the JSON type the SDK hands out. CTest compiles it as the SDK
// was built (it must compile) and with JSON_DIAGNOSTICS=1 (it must not, with a clear message).
#include "zelvora/ZelController.h"

int main() {
  return zelvora::ZelController::sharedInstance().getConsentData().dump().empty() ? 1 : 0;
}
