// The C API's desktop platforms, in a build with the GTK backend.

#include <gtk/gtk.h>

#include "capi/CApiPlatforms.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

using namespace zelvora::capi;
namespace zp = zelvora::platform;

namespace {
zelvora_status createGtk(const zelvora_environment* environment, zelvora_platform** platform,
                         const char* operation, zp::gtk::Hosting hosting, int width = 0,
                         int height = 0) {
  return createPlatform(platform, operation, [&] {
    auto hostEnvironment = environmentFrom(environment);
    if (width > 0 && height > 0) {
      hostEnvironment.screenWidth = width;
      hostEnvironment.screenHeight = height;
    }
    return std::make_unique<zp::gtk::GtkPlatform>(std::move(hostEnvironment),
                                                  zp::gtk::UrlMode::open, hosting);
  });
}
}  // namespace

extern "C" {

zelvora_status zelvora_platform_create_gtk_window(const zelvora_environment* environment,
                                                  zelvora_platform** platform) {
  return createGtk(environment, platform, "zelvora_platform_create_gtk_window",
                   zp::gtk::Hosting::ownWindow());
}

zelvora_status zelvora_platform_create_gtk_window_sized(const zelvora_environment* environment,
                                                        int width, int height,
                                                        zelvora_platform** platform) {
  return createGtk(environment, platform, "zelvora_platform_create_gtk_window_sized",
                   zp::gtk::Hosting::ownWindow(), width, height);
}

zelvora_status zelvora_platform_create_gtk_inside(const zelvora_environment* environment,
                                                  void* gtk_widget, zelvora_platform** platform) {
  if (gtk_widget == nullptr || !GTK_IS_WIDGET(gtk_widget))
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT,
                "zelvora_platform_create_gtk_inside: gtk_widget is not a GtkWidget");
  return createGtk(environment, platform, "zelvora_platform_create_gtk_inside",
                   zp::gtk::Hosting::inside(GTK_WIDGET(gtk_widget)));
}

zelvora_status zelvora_platform_create_gtk_over(const zelvora_environment* environment,
                                                unsigned long x11_window,
                                                zelvora_platform** platform) {
  if (x11_window == 0)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_platform_create_gtk_over: no window");
  return createGtk(environment, platform, "zelvora_platform_create_gtk_over",
                   zp::gtk::Hosting::over(x11_window));
}
}  // extern "C"
