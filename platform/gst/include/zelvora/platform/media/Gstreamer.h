#pragma once

#include <optional>
#include <string>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// Starts GStreamer, once for the process; whether it could. Every player engine that plays or
/// probes media through GStreamer starts it here.
ZELVORA_API bool startGstreamer();

/// The URI GStreamer opens for `url` (a file path, a file:// URL escaped or not, or a web
/// address); none for a local file that is not there.
ZELVORA_API std::optional<std::string> mediaUri(const std::string& url);

/// Whether GStreamer here plays files of `mimeType`: a container the SDK knows ("video/mp4",
/// "video/webm", "video/ogg", "video/quicktime", "video/x-matroska", "video/3gpp"; parameters
/// after ";" ignored) whose demuxer is installed, with a decoder for a video codec such files
/// usually hold. Other types, however playable, are not offered: their files would be guesses.
ZELVORA_API bool gstreamerCanPlay(const std::string& mimeType);

}  // namespace zelvora::platform
