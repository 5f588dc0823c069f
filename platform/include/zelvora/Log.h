#pragma once

#include <functional>
#include <string_view>

#include "zelvora/Export.h"

namespace zelvora {

/// How much a console line matters, most important first.
enum class LogLevel { error, warning, info, trace };

/// Receives each console line of the SDK, without its line break.
using LogSink = std::function<void(std::string_view line)>;
/// Receives each console line with its level.
using LevelLogSink = std::function<void(LogLevel level, std::string_view line)>;

/// Writes one console line. Line breaks inside `line` become spaces, so every message stays
/// one line. Goes to standard output unless a sink is installed; lines less important than
/// the log level are dropped. Safe from any thread.
ZELVORA_API void log(LogLevel level, std::string_view line);
/// An info line.
ZELVORA_API void log(std::string_view line);

/// Installs `sink` for every later line; an empty sink restores standard output. A sink may be
/// called from any thread, also from several at once. It may log itself: those lines go to
/// standard output. Once this returns, the previous sink is no longer running (except when a
/// sink replaces itself, which the call cannot wait for).
ZELVORA_API void setLogSink(LogSink sink);
ZELVORA_API void setLevelLogSink(LevelLogSink sink);

/// Lines less important than `level` are dropped; `LogLevel::info` silences the trace.
/// Everything is written by default.
ZELVORA_API void setLogLevel(LogLevel level);
ZELVORA_API LogLevel logLevel();

}  // namespace zelvora
