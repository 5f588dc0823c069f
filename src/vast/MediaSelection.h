#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vast/VastDocument.h"

namespace zelvora::vast {

struct MediaChoice {
  /// The size of the screen the video will be shown on, in pixels.
  int screenWidth = 1280;
  int screenHeight = 720;
  /// Files above this many kilobits a second are taken only when nothing else is playable.
  int maxBitrateKbps = 8000;
  /// Whether the player can play a MIME type; unset, it plays none.
  std::function<bool(const std::string& mimeType)> canPlay;
};

/// The media file to play: among the files with an http(s) URL, a type the player can play and
/// no API framework, those within the bitrate bound when any is, of those progressive delivery
/// before streaming, then the size closest to the screen's (by area, then by shape), then the
/// lower bitrate, then document order. A file's bitrate is `bitrate`, else `minBitrate`, else
/// `maxBitrate`; 0 (not given) is within the bound. None when no file qualifies (error 403).
std::optional<MediaFile> chooseMediaFile(const std::vector<MediaFile>& files,
                                         const MediaChoice& choice);

}  // namespace zelvora::vast
