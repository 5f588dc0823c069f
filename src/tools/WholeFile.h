#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "net/HttpClient.h"

namespace zelvora {

/// Why the downloaded file at `path` cannot be shown to be whole, if it cannot: for a body whose
/// end only the connection's close marked, which a dropped connection marks just as well.
/// - images must decode, and end where their format ends: PNG with its IEND chunk, JPEG with
///   its end-of-image marker, GIF with its trailer, BMP at the size its header declares; other
///   kinds have no end to check and are refused;
/// - videos must end where their container's structure ends: MP4/QuickTime's top-level boxes
///   add up to the file, none runs past it or to an unstated end, and a "moov" box is among
///   them; WebM/Matroska's top-level elements likewise, none of unknown size, a Segment among
///   them; Ogg's pages add up to the file, the last one marking the end of its stream; AVI's
///   RIFF size is the file's. An MPEG transport stream marks no end, and is refused;
/// - web assets are text, taken as they come.
/// Safe on any thread.
std::optional<std::string> wholenessProblem(const std::filesystem::path& path, AssetKind kind);

}  // namespace zelvora
