#include "zelvora/platform/headless/HeadlessMedia.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>

#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/media/PlayerEngine.h"

namespace zelvora::platform::headless {
namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct Free {
  void operator()(gpointer memory) const { g_free(memory); }
};
struct StreamListFree {
  void operator()(GList* list) const { gst_discoverer_stream_info_list_free(list); }
};
using Discoverer = std::unique_ptr<GstDiscoverer, ObjectUnref>;
using Info = std::unique_ptr<GstDiscovererInfo, ObjectUnref>;
using Error = std::unique_ptr<GError, ErrorFree>;
using Text = std::unique_ptr<gchar, Free>;
using StreamList = std::unique_ptr<GList, StreamListFree>;

bool isFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

/// The engine of the headless backend: the position is computed from the main queue's clock.
class HeadlessPlayerEngine final : public PlayerEngine,
                                   public std::enable_shared_from_this<HeadlessPlayerEngine> {
 public:
  HeadlessPlayerEngine(std::optional<MediaInfo> media, std::string whyNot)
      : media_(media), error_(media ? std::string() : std::move(whyNot)) {}

  PlayerItemStatus status() const override {
    return media_ && error_.empty() ? PlayerItemStatus::readyToPlay : PlayerItemStatus::failed;
  }
  std::string error() const override { return error_; }
  void setFailureHandler(std::function<void()> failed) override {
    failureHandler_ = std::move(failed);
  }
  std::optional<double> duration() const override {
    if (status() == PlayerItemStatus::failed) return std::nullopt;
    return media_->duration;
  }
  double currentTime() const override {
    if (!startedAt_) return position_;
    return std::min(media_->duration, position_ + (mainQueue().now() - *startedAt_));
  }

  bool play(std::function<void()> reachedEnd) override {
    if (status() == PlayerItemStatus::failed || position_ >= media_->duration) return false;
    if (startedAt_) return true;
    startedAt_ = mainQueue().now();
    // The timer holds the engine weakly: a released engine never reports its end.
    endTimer_ =
        mainQueue().postAfter(media_->duration - position_,
                              [weak = weak_from_this(), reachedEnd = std::move(reachedEnd)] {
                                auto self = weak.lock();
                                if (!self) return;
                                self->endTimer_.reset();
                                self->startedAt_.reset();
                                self->position_ = self->media_->duration;
                                reachedEnd();
                              });
    return true;
  }

  void pause() override {
    if (!startedAt_) return;
    position_ = currentTime();
    startedAt_.reset();
    if (endTimer_ && hasMainQueue()) mainQueue().cancel(*endTimer_);
    endTimer_.reset();
  }

  // Nothing is heard: the headless backend has no sound output.
  void setVolume(float) override {}

  /// Stops where it is, for good, as a decoding error would.
  bool fail(const std::string& reason) {
    if (status() == PlayerItemStatus::failed) return false;
    pause();
    error_ = reason.empty() ? "playback failed" : reason;
    mainQueue().post([weak = weak_from_this()] {
      auto self = weak.lock();
      if (!self || !self->failureHandler_) return;
      auto failed = self->failureHandler_;
      failed();
    });
    return true;
  }

 private:
  const std::optional<MediaInfo> media_;
  std::string error_;
  std::function<void()> failureHandler_;
  /// The position while paused, or where playback last started.
  double position_ = 0;
  /// The clock's time when playback last started; none while paused.
  std::optional<double> startedAt_;
  std::optional<TimerId> endTimer_;
};

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

void installMediaBackend() {
  installPlayerEngineFactory([](const std::string& url) -> std::shared_ptr<PlayerEngine> {
    auto media = probeMedia(url);
    std::string whyNot;
    if (!media) whyNot = mediaUri(url) ? "not a playable video or audio file" : "no such file";
    return std::make_shared<HeadlessPlayerEngine>(media, std::move(whyNot));
  });
}

bool failPlayback(const Player& player, const std::string& reason) {
  auto engine = std::dynamic_pointer_cast<HeadlessPlayerEngine>(player.engine());
  return engine && engine->fail(reason);
}

}  // namespace zelvora::platform::headless
