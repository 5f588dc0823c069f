// The C API's desktop platforms in a build without the GTK backend: each answers
// "unsupported".

#include <string>

#include "capi/CApiPlatforms.h"

using namespace zelvora::capi;

namespace {
zelvora_status unsupported(zelvora_platform** platform, const char* operation) {
  if (platform != nullptr) *platform = nullptr;
  return fail(ZELVORA_ERROR_UNSUPPORTED,
              std::string(operation) + ": this build of the SDK has no GTK backend");
}
}  // namespace

extern "C" {

zelvora_status zelvora_platform_create_gtk_window(const zelvora_environment*,
                                                  zelvora_platform** platform) {
  return unsupported(platform, "zelvora_platform_create_gtk_window");
}

zelvora_status zelvora_platform_create_gtk_window_sized(const zelvora_environment*, int, int,
                                                        zelvora_platform** platform) {
  return unsupported(platform, "zelvora_platform_create_gtk_window_sized");
}

zelvora_status zelvora_platform_create_gtk_inside(const zelvora_environment*, void*,
                                                  zelvora_platform** platform) {
  return unsupported(platform, "zelvora_platform_create_gtk_inside");
}

zelvora_status zelvora_platform_create_gtk_over(const zelvora_environment*, unsigned long,
                                                zelvora_platform** platform) {
  return unsupported(platform, "zelvora_platform_create_gtk_over");
}
}  // extern "C"
