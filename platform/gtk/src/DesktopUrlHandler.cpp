#include "zelvora/platform/gtk/DesktopUrlHandler.h"

#include <gio/gio.h>

#include <memory>

#include "zelvora/Log.h"

namespace zelvora::platform::gtk {

bool DesktopUrlHandler::canOpen(const std::string& url) {
  std::unique_ptr<char, decltype(&g_free)> scheme(g_uri_parse_scheme(url.c_str()), &g_free);
  if (!scheme) return false;
  const std::string name = scheme.get();
  if (name == "http" || name == "https") return true;
  std::unique_ptr<GAppInfo, decltype(&g_object_unref)> application(
      g_app_info_get_default_for_uri_scheme(name.c_str()), &g_object_unref);
  return application != nullptr;
}

void DesktopUrlHandler::open(const std::string& url) {
  openedUrls_.push_back(url);
  if (mode_ == UrlMode::record) return;
  GError* error = nullptr;
  if (!gtk_show_uri_on_window(parent_ ? parent_() : nullptr, url.c_str(), GDK_CURRENT_TIME,
                              &error)) {
    log(LogLevel::warning, "open " + url + ": " + (error ? error->message : "no application"));
    g_clear_error(&error);
  }
}

}  // namespace zelvora::platform::gtk
