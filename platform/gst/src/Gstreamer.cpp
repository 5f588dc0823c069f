#include "zelvora/platform/media/Gstreamer.h"

#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

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

/// A container's caps, and the caps of the video codecs its files usually hold.
struct Container {
  const char* caps;
  std::vector<const char*> codecs;
};

const std::map<std::string, Container>& containers() {
  static const std::map<std::string, Container> known{
      {"video/mp4", {"video/quicktime", {"video/x-h264", "video/x-h265"}}},
      {"video/quicktime", {"video/quicktime", {"video/x-h264", "video/x-h265"}}},
      {"video/3gpp", {"video/quicktime", {"video/x-h264", "video/x-h263"}}},
      {"video/webm", {"video/webm", {"video/x-vp8", "video/x-vp9", "video/x-av1"}}},
      {"video/x-matroska", {"video/x-matroska", {"video/x-h264", "video/x-vp8", "video/x-vp9"}}},
      {"video/ogg", {"application/ogg", {"video/x-theora"}}},
  };
  return known;
}

/// Whether an installed element of `type` accepts `capsText` on its sink.
bool hasElementFor(GstElementFactoryListType type, const char* capsText) {
  GList* factories = gst_element_factory_list_get_elements(type, GST_RANK_MARGINAL);
  GstCaps* caps = gst_caps_from_string(capsText);
  GList* accepting = gst_element_factory_list_filter(factories, caps, GST_PAD_SINK, FALSE);
  const bool found = accepting != nullptr;
  gst_plugin_feature_list_free(accepting);
  gst_caps_unref(caps);
  gst_plugin_feature_list_free(factories);
  return found;
}

}  // namespace

bool gstreamerCanPlay(const std::string& mimeType) {
  std::string type = mimeType.substr(0, mimeType.find(';'));
  type.erase(
      std::remove_if(type.begin(), type.end(), [](unsigned char c) { return std::isspace(c); }),
      type.end());
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto container = containers().find(type);
  if (container == containers().end() || !startGstreamer()) return false;
  if (!hasElementFor(GST_ELEMENT_FACTORY_TYPE_DEMUXER, container->second.caps)) return false;
  return std::any_of(
      container->second.codecs.begin(), container->second.codecs.end(),
      [](const char* codec) { return hasElementFor(GST_ELEMENT_FACTORY_TYPE_DECODER, codec); });
}

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
