#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

#include "zelvora/platform/HostEnvironment.h"

namespace zelvora::platform::gtk {

/// The web context every page of the engine shares: an ephemeral session that fails on TLS
/// errors, the web processes' memory limit, and WebKit's sandbox as `limits.sandbox` asks, with
/// the application's caches and temporary folders (where the creatives' local files are)
/// readable inside it. Where the sandbox is required and cannot start, `refused` says why and
/// no page may load.
WebKitWebContext* newWebContext(const WebContentLimits& limits,
                                std::optional<std::string>& refused);

}  // namespace zelvora::platform::gtk
