#include "zelvora/platform/gtk/GstPlayerEngine.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <thread>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/Mutex.h"
#include "zelvora/platform/media/Gstreamer.h"

namespace zelvora::platform::gtk {
namespace {

bool hasGtkSink() {
  GstElementFactory* factory = gst_element_factory_find("gtksink");
  if (!factory) return false;
  gst_object_unref(factory);
  return true;
}

/// Whether a real audio output opens. Without one the automatic sink falls back to a sink of its
/// own and warns on every pipeline, so the answer is found once, on a sink outside any pipeline.
bool hasAudioOutput() {
  static const bool found = [] {
    GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (!probe) return false;
    gst_object_ref_sink(probe);
    bool opened = gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    if (opened) {
      GstIterator* children = gst_bin_iterate_sinks(GST_BIN(probe));
      GValue child = G_VALUE_INIT;
      while (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&child)));
        if (factory && g_strcmp0(GST_OBJECT_NAME(factory), "fakesink") == 0) opened = false;
        g_value_reset(&child);
      }
      g_value_unset(&child);
      gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    return opened;
  }();
  return found;
}

GstElement* makeAudioSink() {
  if (hasAudioOutput()) return gst_element_factory_make("autoaudiosink", nullptr);
  // Synchronised to the clock, so that the picture does not run ahead of real time.
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  if (sink) g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

/// Loads, on a worker thread, what the first video's pipeline would otherwise load on the main
/// thread inside showAd: the plugins a playbin plays a WebM or MP4 file with, and the answer
/// whether an audio output opens (which opens the device). Creating the pipeline then only
/// instantiates what is in memory. Started once for the process; joined at its exit.
class WarmUp {
 public:
  static void start() { static WarmUp warmUp; }
  ~WarmUp() {
    if (worker_.joinable()) worker_.join();
  }

 private:
  WarmUp()
      : worker_([] {
          for (const char* name : {"playbin",       "playsink",
                                   "uridecodebin",  "urisourcebin",
                                   "decodebin",     "filesrc",
                                   "typefind",      "queue2",
                                   "multiqueue",    "matroskademux",
                                   "qtdemux",       "vp8dec",
                                   "vp9dec",        "avdec_h264",
                                   "vorbisdec",     "opusdec",
                                   "avdec_aac",     "videoconvert",
                                   "videoscale",    "audioconvert",
                                   "audioresample", "volume",
                                   "autoaudiosink", "fakesink",
                                   "gtksink",       "streamsynchronizer",
                                   "inputselector"}) {
            // Made once and dropped: the plugin is loaded and the element's class set up.
            // The GTK sink only loads here: its widget belongs to the main thread.
            if (g_strcmp0(name, "gtksink") != 0) {
              if (GstElement* element = gst_element_factory_make(name, nullptr))
                gst_object_unref(gst_object_ref_sink(element));
            } else if (GstPluginFeature* feature =
                           gst_registry_lookup_feature(gst_registry_get(), name)) {
              if (GstPluginFeature* loaded = gst_plugin_feature_load(feature))
                gst_object_unref(loaded);
              gst_object_unref(feature);
            }
          }
          hasAudioOutput();
        }) {}
  std::thread worker_;
};

/// Runs every pipeline's state changes, in the order asked, on a thread of its own: going to
/// PAUSED opens the file and finds its type, which would hold the main thread for
/// milliseconds inside showAd. Never destroyed: a change may wait for the main loop (the GTK
/// sink starts there), which no longer runs when the process exits.
class StateChanges {
 public:
  static StateChanges& shared() {
    static auto* changes = new StateChanges;
    return *changes;
  }
  /// Holds a reference to `pipeline` until the change is made; `failed` runs on the main queue
  /// when it fails.
  void add(GstElement* pipeline, GstState state, std::function<void()> failed)
      ZELVORA_EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      changes_.push_back({GST_ELEMENT(gst_object_ref(pipeline)), state, std::move(failed)});
    }
    wake_.notify_one();
  }

 private:
  struct Change {
    GstElement* pipeline;
    GstState state;
    std::function<void()> failed;
  };
  StateChanges() {
    std::thread([this] { run(); }).detach();
  }
  [[noreturn]] void run() ZELVORA_EXCLUDES(mutex_) {
    while (true) {
      Change change;
      {
        MutexLock lock(mutex_);
        while (changes_.empty()) lock.wait(wake_);
        change = std::move(changes_.front());
        changes_.pop_front();
      }
      if (gst_element_set_state(change.pipeline, change.state) == GST_STATE_CHANGE_FAILURE &&
          change.failed)
        postToMainQueue(std::move(change.failed));
      gst_object_unref(change.pipeline);
    }
  }

  Mutex mutex_;
  std::condition_variable wake_;
  std::deque<Change> changes_ ZELVORA_GUARDED_BY(mutex_);
};

double seconds(gint64 nanoseconds) {
  return static_cast<double>(nanoseconds) / GST_SECOND;
}

}  // namespace

std::shared_ptr<GstPlayerEngine> GstPlayerEngine::open(const std::string& url) {
  auto engine = std::make_shared<GstPlayerEngine>(Passkey{}, url);
  engine->start();
  return engine;
}

GstPlayerEngine::GstPlayerEngine(Passkey, std::string url) : url_(std::move(url)) {}

GstPlayerEngine::~GstPlayerEngine() {
  if (pipeline_) {
    if (busWatch_) {
      GstBus* bus = gst_element_get_bus(pipeline_);
      gst_bus_remove_watch(bus);
      gst_object_unref(bus);
    }
    // After the changes asked before; the thread's reference frees the pipeline.
    StateChanges::shared().add(pipeline_, GST_STATE_NULL, nullptr);
    gst_object_unref(pipeline_);
  }
  // The holder goes after the sink, which would take its widget's destruction for the user
  // closing the picture.
  if (holder_) gtk_widget_destroy(holder_);
  if (picture_) g_object_unref(picture_);
  if (frame_) g_object_unref(frame_);
}

void GstPlayerEngine::start() {
  if (!startGstreamer()) return fail("GStreamer cannot start");
  const auto uri = mediaUri(url_);
  if (!uri) return fail("no such file");
  pipeline_ = gst_element_factory_make("playbin", nullptr);
  GstElement* videoSink = gst_element_factory_make("gtksink", nullptr);
  GstElement* audioSink = makeAudioSink();
  if (!pipeline_ || !videoSink || !audioSink) {
    for (GstElement* element : {pipeline_, videoSink, audioSink}) {
      if (element) gst_object_unref(gst_object_ref_sink(element));
    }
    pipeline_ = nullptr;
    return fail(videoSink ? "GStreamer's playbin or audio sink is missing"
                          : "GStreamer's GTK video sink (gtksink) is missing");
  }
  gst_object_ref_sink(pipeline_);
  g_object_get(videoSink, "widget", &picture_, nullptr);
  if (picture_) {
    // The model below takes the taps: an empty input shape lets every click through.
    cairo_region_t* nowhere = cairo_region_create();
    gtk_widget_input_shape_combine_region(picture_, nowhere);
    cairo_region_destroy(nowhere);
    gtk_widget_set_can_focus(picture_, FALSE);
    gtk_widget_show(picture_);
    // When the sink starts, a widget outside any window gets a desktop window of its own.
    holder_ = gtk_offscreen_window_new();
    gtk_container_add(GTK_CONTAINER(holder_), picture_);
  }
  frame_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_ref_sink(frame_);
  g_object_set(pipeline_, "uri", uri->c_str(), "video-sink", videoSink, "audio-sink", audioSink,
               nullptr);

  // The watch runs on the default main context; it holds the engine weakly, and the destructor
  // removes it.
  GstBus* bus = gst_element_get_bus(pipeline_);
  busWatch_ = gst_bus_add_watch_full(
      bus, G_PRIORITY_DEFAULT, &GstPlayerEngine::onBusMessage,
      new std::weak_ptr<GstPlayerEngine>(weak_from_this()),
      [](gpointer weak) { delete static_cast<std::weak_ptr<GstPlayerEngine>*>(weak); });
  gst_object_unref(bus);
  changeState(GST_STATE_PAUSED);
}

std::optional<double> GstPlayerEngine::duration() const {
  if (status_ != PlayerItemStatus::readyToPlay) return std::nullopt;
  return duration_;
}

double GstPlayerEngine::currentTime() const {
  // Paused, the time stays where pause() found it: the pipeline itself stops a little later.
  if (ended_ || !playing_ || status_ == PlayerItemStatus::failed) return position_;
  gint64 position = 0;
  if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position) && position >= 0) {
    position_ = std::max(0.0, seconds(position));
    if (duration_) position_ = std::min(position_, *duration_);
  }
  return position_;
}

bool GstPlayerEngine::play(std::function<void()> reachedEnd) {
  if (status_ == PlayerItemStatus::failed || ended_) return false;
  if (!playing_) {
    // While prerolling, the pipeline goes on to play as soon as it is ready.
    changeState(GST_STATE_PLAYING);
    playing_ = true;
  }
  reachedEnd_ = std::move(reachedEnd);
  return true;
}

void GstPlayerEngine::pause() {
  ++endGeneration_;
  reachedEnd_ = nullptr;
  if (!playing_) return;
  currentTime();
  playing_ = false;
  if (status_ != PlayerItemStatus::failed) changeState(GST_STATE_PAUSED);
}

void GstPlayerEngine::setVolume(float volume) {
  if (!pipeline_) return;
  const double linear =
      std::isnan(volume) ? 0.0 : std::clamp(static_cast<double>(volume), 0.0, 1.0);
  g_object_set(pipeline_, "volume", linear, nullptr);
}

gboolean GstPlayerEngine::onBusMessage(GstBus*, GstMessage* message, gpointer weakSelf) {
  if (auto self = static_cast<std::weak_ptr<GstPlayerEngine>*>(weakSelf)->lock())
    self->handle(message);
  return G_SOURCE_CONTINUE;
}

void GstPlayerEngine::handle(GstMessage* message) {
  if (status_ == PlayerItemStatus::failed) return;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      fail(error ? error->message : "playback failed");
      g_clear_error(&error);
      break;
    }
    case GST_MESSAGE_ASYNC_DONE:
      // The first frame is ready: the pipeline knows the item's length.
      if (status_ == PlayerItemStatus::unknown) {
        queryDuration();
        status_ = PlayerItemStatus::readyToPlay;
        settlePicture();
      }
      break;
    case GST_MESSAGE_DURATION_CHANGED:
      queryDuration();
      break;
    case GST_MESSAGE_EOS:
      didReachEnd();
      break;
    default:
      break;
  }
}

void GstPlayerEngine::changeState(GstState state) {
  StateChanges::shared().add(pipeline_, state, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->status_ == PlayerItemStatus::failed) return;
    // The element that failed has posted why, unless the bus watch has taken it already.
    GstBus* bus = gst_element_get_bus(self->pipeline_);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (message) {
      self->handle(message);
      gst_message_unref(message);
    }
    self->fail("the pipeline cannot start");
  });
}

void GstPlayerEngine::setFailureHandler(std::function<void()> failed) {
  failureHandler_ = std::move(failed);
}

void GstPlayerEngine::fail(const std::string& reason) {
  if (status_ == PlayerItemStatus::failed) return;
  status_ = PlayerItemStatus::failed;
  error_ = reason;
  duration_.reset();
  playing_ = false;
  reachedEnd_ = nullptr;
  ++endGeneration_;
  log(LogLevel::warning, "media: " + url_ + ": " + reason);
  if (pipeline_) changeState(GST_STATE_NULL);
  // In a task of its own: a failure found inside play() or a bus message must not call back
  // into the player while it is busy with this engine.
  if (!failureHandler_ || !hasMainQueue()) return;
  mainQueue().post([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->failureHandler_) return;
    auto failed = self->failureHandler_;
    failed();
  });
}

void GstPlayerEngine::settlePicture() {
  if (!holder_) return;
  gtk_container_remove(GTK_CONTAINER(holder_), picture_);
  gtk_box_pack_start(GTK_BOX(frame_), picture_, TRUE, TRUE, 0);
  gtk_widget_destroy(holder_);
  holder_ = nullptr;
}

void GstPlayerEngine::queryDuration() {
  gint64 length = 0;
  if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &length) && length > 0)
    duration_ = seconds(length);
}

void GstPlayerEngine::didReachEnd() {
  if (ended_) return;
  const double last = currentTime();
  ended_ = true;
  playing_ = false;
  position_ = duration_.value_or(last);
  // Paused, the sink keeps showing the last frame.
  changeState(GST_STATE_PAUSED);
  if (!reachedEnd_ || !hasMainQueue()) return;
  mainQueue().post([weak = weak_from_this(), generation = endGeneration_] {
    auto self = weak.lock();
    if (!self || self->endGeneration_ != generation || !self->reachedEnd_) return;
    auto reachedEnd = std::move(self->reachedEnd_);
    self->reachedEnd_ = nullptr;
    reachedEnd();
  });
}

PlayerEngineFactory gstPlayerEngines() {
  if (!startGstreamer()) {
    log(LogLevel::error, "media: GStreamer cannot start: videos will not play");
  } else if (!hasGtkSink()) {
    log(LogLevel::error,
        "media: GStreamer's GTK video sink (gtksink) is missing: videos will not play");
  } else {
    WarmUp::start();
  }
  return [](const std::string& url) -> std::shared_ptr<PlayerEngine> {
    return GstPlayerEngine::open(url);
  };
}

void installGstPlayerEngine() {
  installPlayerEngineFactory(gstPlayerEngines());
}

}  // namespace zelvora::platform::gtk
