#include "zelvora/platform/media/Gstreamer.h"

#include <gst/gst.h>

#include <filesystem>
#include <memory>
#include <mutex>

namespace zelvora::platform {
namespace {

struct Free {
  void operator()(gpointer memory) const { g_free(memory); }
};
using Text = std::unique_ptr<gchar, Free>;

bool isFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

bool startGstreamer() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = gst_init_check(nullptr, nullptr, nullptr); });
  return started;
}

std::optional<std::string> mediaUri(const std::string& url) {
  std::optional<std::string> path;
  if (url.find("://") == std::string::npos) {
    if (isFile(url)) path = url;
  } else if (url.rfind("file://", 0) == 0) {
    Text decoded(g_filename_from_uri(url.c_str(), nullptr, nullptr));
    const std::string raw = url.substr(7);
    if (decoded && isFile(decoded.get())) {
      path = decoded.get();
    } else if (!raw.empty() && raw.front() == '/' && isFile(raw)) {
      path = raw;
    }
  } else {
    return url;
  }
  if (!path) return std::nullopt;
  Text uri(gst_filename_to_uri(path->c_str(), nullptr));
  if (!uri) return std::nullopt;
  return std::string(uri.get());
}

}  // namespace zelvora::platform
