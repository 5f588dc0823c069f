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

}  // namespace zelvora::platform
