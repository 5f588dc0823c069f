#include "WebContext.h"

#include "zelvora/Log.h"
#include "zelvora/platform/Directories.h"

namespace zelvora::platform::gtk {
namespace {

/// Whether bubblewrap can make the namespaces WebKit's sandbox asks for (a container without
/// user namespaces cannot); otherwise why not. WebKit would only find out by failing to start
/// its web processes.
std::optional<std::string> sandboxUnavailable() {
  const gchar* argv[] = {"bwrap", "--unshare-all", "--die-with-parent", "--ro-bind", "/", "/",
                         "true",  nullptr};
  gchar* errors = nullptr;
  gint status = 0;
  GError* error = nullptr;
  if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL),
                    nullptr, nullptr, nullptr, &errors, &status, &error)) {
    std::string why = error->message;
    g_error_free(error);
    return why;
  }
  std::string why = errors ? g_strstrip(errors) : "";
  g_free(errors);
  if (g_spawn_check_wait_status(status, nullptr)) return std::nullopt;
  return why.empty() ? "bwrap failed" : why;
}

}  // namespace

WebKitWebContext* newWebContext(const WebContentLimits& limits,
                                std::optional<std::string>& refused) {
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
  // A certificate WebKit cannot verify ends the load: no exception is ever made.
  webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
  WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
  if (limits.memoryMiB > 0) {
    webkit_memory_pressure_settings_set_memory_limit(memory, limits.memoryMiB);
    // Ended at the limit, not above it; looked at often enough to end a page that allocates
    // in a loop before it takes the machine's memory.
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    webkit_memory_pressure_settings_set_poll_interval(memory, 1.0);
  }
  auto* context =
      WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                      "memory-pressure-settings", memory, nullptr));
  webkit_memory_pressure_settings_free(memory);
  g_object_unref(data);

  refused.reset();
  if (limits.sandbox == WebSandbox::off) return context;
  if (const auto why = sandboxUnavailable()) {
    if (limits.sandbox == WebSandbox::required) {
      refused = "WebKit's sandbox cannot start (" + *why + "): web content is refused";
      log(LogLevel::error, *refused);
    } else {
      log(LogLevel::warning,
          "WebKit's sandbox cannot start (" + *why + "): creatives run unsandboxed");
    }
    return context;
  }
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  for (const auto& folder : {cachesDirectory(), temporaryDirectory()}) {
    if (folder) webkit_web_context_add_path_to_sandbox(context, folder->c_str(), TRUE);
  }
  return context;
}

}  // namespace zelvora::platform::gtk
