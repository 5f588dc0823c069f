#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "net/HttpClient.h"

namespace zelvora {

/// Why the downloaded file at `path` cannot serve as `kind`, if it cannot: an image must have
/// a header the image decoder reads; a video must begin with the signature of a container
/// (WebM/Matroska, MP4/QuickTime "ftyp", Ogg, AVI, MPEG transport stream). Web assets are
/// taken as they come. A file whose end the server did not mark must also prove whole
/// (`wholenessProblem`). Safe on any thread.
std::optional<std::string> assetProblem(const std::filesystem::path& path, AssetKind kind,
                                        bool endMarked);

}  // namespace zelvora
