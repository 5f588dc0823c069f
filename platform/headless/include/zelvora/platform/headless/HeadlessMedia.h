#pragma once

#include <memory>
#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/media/PlayerEngine.h"

namespace zelvora::platform {
class Player;
}

namespace zelvora::platform::headless {

/// What probing a media file found.
struct ZELVORA_API MediaInfo {
  double duration = 0;
  bool hasVideo = false;
  bool hasAudio = false;
  int width = 0;
  int height = 0;
};

/// Opens the media at `url` (a file path, a file:// URL or a web address) with GStreamer's
/// discoverer and reads its length and streams. None when it could not be played: missing,
/// unreadable, not audio or video, or of unknown length. Blocks until done, at most
/// `timeoutSeconds` (a local file takes a fraction of a second). Main thread only.
ZELVORA_API std::optional<MediaInfo> probeMedia(const std::string& url, double timeoutSeconds = 10);

/// The headless player engine (see PlayerEngine.h). Each player
/// probes its item once when the item is set (`probeMedia`) and then plays it on the main
/// queue's clock without decoding it: the position advances with the clock from where playback
/// started and stops at the probed duration. An item that cannot be probed fails at once (as
/// "no such file", or "not a playable video or audio file"); one that plays fails only when a
/// test says so (`failPlayback`).
ZELVORA_API PlayerEngineFactory playerEngines();
/// The headless engine for media already known, with no probing: it plays `media` on the main
/// queue's clock, or fails at once with `whyNot` when there is none.
ZELVORA_API std::shared_ptr<PlayerEngine> playerEngineFor(std::optional<MediaInfo> media,
                                                          std::string whyNot);
/// Installs `playerEngines()` as the media backend, for tests that use no platform.
ZELVORA_API void installMediaBackend();

/// Makes the headless engine of `player`'s current item fail now with `reason`, as a decoding
/// error part way through a file would: playback stops where it is and the player learns of
/// the failure in a main-queue task. Returns false, changing nothing, when the item has no
/// headless engine or has failed already.
ZELVORA_API bool failPlayback(const Player& player, const std::string& reason);

}  // namespace zelvora::platform::headless
