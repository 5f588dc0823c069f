#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// Whether an item can be played.
enum class PlayerItemStatus {
  /// Still being looked at (a backend that opens media in the background).
  unknown,
  readyToPlay,
  /// Missing, unreadable or not media, or broken part way through: it plays no more.
  failed,
};

/// The backend's side of a `Player`: it opens one item and plays it. The player keeps the
/// observers and the rate and reports time on the main queue; the engine owns the media and its
/// position. Engines are created by the installed factory and used on the main thread only.
class ZELVORA_API PlayerEngine {
 public:
  virtual ~PlayerEngine() = default;

  virtual PlayerItemStatus status() const = 0;
  /// Why the item failed; empty while it has not.
  virtual std::string error() const = 0;
  /// What to call when the item fails after the engine was created (while it opens in the
  /// background, when asked to play, or during playback): once, on the main queue, in a task of
  /// its own, after the engine has stopped. An item failed from the start calls nothing: its
  /// status says so. An empty function stops the calls.
  virtual void setFailureHandler(std::function<void()> failed) = 0;
  /// The item's length in seconds; none until known, and for an item that failed.
  virtual std::optional<double> duration() const = 0;
  /// The playback position in seconds, from 0 to the duration. While playing it advances with
  /// the main queue's clock.
  virtual double currentTime() const = 0;
  /// Starts or resumes playback from the current position. Returns false, changing nothing,
  /// when the item cannot play (failed, or already at its end). Once the position reaches the
  /// end, playback stops there and `reachedEnd` runs in a main-queue task of its own.
  virtual bool play(std::function<void()> reachedEnd) = 0;
  /// Stops at the current position; a pending `reachedEnd` is dropped.
  virtual void pause() = 0;
  /// 0 (silent) to 1 (full).
  virtual void setVolume(float volume) = 0;
};

/// Creates the engine for the media at `url` (a file path, a file:// URL or a web address).
using PlayerEngineFactory = std::function<std::shared_ptr<PlayerEngine>(const std::string& url)>;

/// The backend installs its factory at start-up; an empty one uninstalls it. Without a factory
/// every item fails (a console line says why).
ZELVORA_API void installPlayerEngineFactory(PlayerEngineFactory factory);
ZELVORA_API bool hasPlayerEngineFactory();

/// Whether the media backend can play files of a MIME type ("video/mp4").
using MediaTypeCheck = std::function<bool(const std::string& mimeType)>;
/// The backend installs its check beside its engine factory; an empty one uninstalls it.
ZELVORA_API void installMediaTypeCheck(MediaTypeCheck check);
/// The installed check's answer; false without one.
ZELVORA_API bool canPlayMediaType(const std::string& mimeType);

}  // namespace zelvora::platform
