#include "zelvora/platform/headless/HeadlessMedia.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "zelvora/platform/media/Gstreamer.h"

namespace zelvora::platform::headless {
namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct StreamListFree {
  void operator()(GList* list) const { gst_discoverer_stream_info_list_free(list); }
};
using Discoverer = std::unique_ptr<GstDiscoverer, ObjectUnref>;
using Info = std::unique_ptr<GstDiscovererInfo, ObjectUnref>;
using Error = std::unique_ptr<GError, ErrorFree>;
using StreamList = std::unique_ptr<GList, StreamListFree>;

}  // namespace

std::optional<MediaInfo> probeMedia(const std::string& url, double timeoutSeconds) {
  const auto uri = mediaUri(url);
  if (!uri || !startGstreamer()) return std::nullopt;
  const auto timeout = static_cast<GstClockTime>(
      std::clamp(std::isnan(timeoutSeconds) ? 10.0 : timeoutSeconds, 0.1, 3600.0) * GST_SECOND);
  GError* rawError = nullptr;
  Discoverer discoverer(gst_discoverer_new(timeout, &rawError));
  Error error(rawError);
  if (!discoverer) return std::nullopt;
  rawError = nullptr;
  Info info(gst_discoverer_discover_uri(discoverer.get(), uri->c_str(), &rawError));
  error.reset(rawError);
  if (!info || gst_discoverer_info_get_result(info.get()) != GST_DISCOVERER_OK) return std::nullopt;

  const GstClockTime length = gst_discoverer_info_get_duration(info.get());
  if (!GST_CLOCK_TIME_IS_VALID(length) || length == 0) return std::nullopt;
  MediaInfo media;
  media.duration = static_cast<double>(length) / GST_SECOND;
  StreamList video(gst_discoverer_info_get_video_streams(info.get()));
  for (GList* entry = video.get(); entry; entry = entry->next) {
    auto* stream = static_cast<GstDiscovererVideoInfo*>(entry->data);
    if (gst_discoverer_video_info_is_image(stream)) continue;
    media.hasVideo = true;
    media.width = static_cast<int>(gst_discoverer_video_info_get_width(stream));
    media.height = static_cast<int>(gst_discoverer_video_info_get_height(stream));
    break;
  }
  StreamList audio(gst_discoverer_info_get_audio_streams(info.get()));
  media.hasAudio = audio != nullptr;
  if (!media.hasVideo && !media.hasAudio) return std::nullopt;
  return media;
}

PlayerEngineFactory playerEngines() {
  return [](const std::string& url) -> std::shared_ptr<PlayerEngine> {
    auto media = probeMedia(url);
    std::string whyNot;
    if (!media) whyNot = mediaUri(url) ? "not a playable video or audio file" : "no such file";
    return playerEngineFor(media, std::move(whyNot));
  };
}

void installMediaBackend() {
  installPlayerEngineFactory(playerEngines());
  installMediaTypeCheck(gstreamerCanPlay);
}

}  // namespace zelvora::platform::headless
