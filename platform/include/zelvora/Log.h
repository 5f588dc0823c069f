#pragma once

#include <functional>
#include <string_view>

#include "zelvora/Export.h"

namespace zelvora {

/// Receives each console line of the SDK, without its line break.
using LogSink = std::function<void(std::string_view line)>;

/// Writes one console line. Line breaks inside `line` become spaces, so every message stays
/// one line. Goes to standard output unless a sink is installed.
ZELVORA_API void log(std::string_view line);

/// Installs `sink` for every later line; an empty sink restores standard output.
ZELVORA_API void setLogSink(LogSink sink);

}  // namespace zelvora
