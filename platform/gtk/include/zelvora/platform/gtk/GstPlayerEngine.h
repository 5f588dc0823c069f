#pragma once

// The GTK backend's player engine: each item plays in a GStreamer playbin whose picture goes to
// a gtksink, so the video is a GtkWidget the backend places over the model's video view.
//
// What it does:
// - opens a file path, a file:// URL (escaped or not) or a web address, and starts prerolling at
//   once: the status stays unknown until the first frame is ready and the length is known;
// - reports a missing local file, and any failure of the pipeline (not media, a decoding error),
//   as a failed item, with one console line "media: <url>: <why>" (GStreamer's message for the
//   pipeline's failures); a failure after opening (an error message of the pipeline while it
//   prerolls, starts or plays) reaches the player through the failure handler, the reason
//   through `error()`;
// - plays sound on the default audio output, or, without one (CI, a headless X server), through
//   a sink that only keeps time, so playback still runs at real speed;
// - handles the pipeline's messages on GLib's default main context, where the main queue runs.
//
// What it does not do:
// - seek: there is no way back once the item has reached its end;
// - take input: clicks and touches on the picture go to the model below it.

#include <gst/gst.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/media/PlayerEngine.h"

namespace zelvora::platform::gtk {

/// Plays one item with GStreamer. Main thread only, with GTK initialised.
class ZELVORA_API GstPlayerEngine final : public PlayerEngine,
                                          public std::enable_shared_from_this<GstPlayerEngine> {
  struct Passkey {};

 public:
  /// Starts opening the media at `url`. The engine is failed at once when GStreamer or its GTK
  /// sink is unavailable, or when the media cannot be opened at all (a missing file).
  static std::shared_ptr<GstPlayerEngine> open(const std::string& url);

  GstPlayerEngine(Passkey, std::string url);
  /// Stops the pipeline and frees it.
  ~GstPlayerEngine() override;
  GstPlayerEngine(const GstPlayerEngine&) = delete;
  GstPlayerEngine& operator=(const GstPlayerEngine&) = delete;

  /// The picture, letterboxed on black: a container the sink's widget moves into once the sink
  /// has started (until then the sink needs it inside a window of its own, or it opens one).
  /// None when the pipeline could not be built. It is there from the start, the engine holds a
  /// reference to it for its whole life, and it takes no input.
  GtkWidget* videoWidget() const { return frame_; }

  PlayerItemStatus status() const override { return status_; }
  std::string error() const override { return error_; }
  void setFailureHandler(std::function<void()> failed) override;
  std::optional<double> duration() const override;
  double currentTime() const override;
  bool play(std::function<void()> reachedEnd) override;
  void pause() override;
  void setVolume(float volume) override;

 private:
  static gboolean onBusMessage(GstBus* bus, GstMessage* message, gpointer weakSelf);

  void start();
  void handle(GstMessage* message);
  /// Asks for the pipeline's state, set off the main thread after the changes asked before;
  /// when it fails, the item fails with the pipeline's error.
  void changeState(GstState state);
  /// Stops the pipeline for good and tells the failure handler, once.
  void fail(const std::string& reason);
  void queryDuration();
  void didReachEnd();
  /// Moves the sink's widget from its holding window into the frame.
  void settlePicture();

  const std::string url_;
  GstElement* pipeline_ = nullptr;
  GtkWidget* frame_ = nullptr;
  /// The sink's widget, and the hidden window that holds it until the sink has started.
  GtkWidget* picture_ = nullptr;
  GtkWidget* holder_ = nullptr;
  guint busWatch_ = 0;
  PlayerItemStatus status_ = PlayerItemStatus::unknown;
  std::string error_;
  std::function<void()> failureHandler_;
  std::optional<double> duration_;
  /// The last position the pipeline reported; the duration once ended.
  mutable double position_ = 0;
  bool playing_ = false;
  bool ended_ = false;
  std::function<void()> reachedEnd_;
  /// Changes when a pending end report must be dropped.
  std::uint64_t endGeneration_ = 0;
};

/// The engine's factory, GStreamer started first. When GStreamer or its GTK sink is unavailable,
/// a console line says so and every item fails.
ZELVORA_API PlayerEngineFactory gstPlayerEngines();
/// Installs `gstPlayerEngines()` as the media backend, for tests that use no platform.
ZELVORA_API void installGstPlayerEngine();

}  // namespace zelvora::platform::gtk
