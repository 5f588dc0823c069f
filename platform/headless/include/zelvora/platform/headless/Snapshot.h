#pragma once

#include <filesystem>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform::headless {

/// Draws `root` and everything below it into a PNG at `path`, one pixel per point, on a black
/// background the size of `root` (normally the key window), as render::drawViewTree draws it.
/// Returns whether the file was written.
ZELVORA_API bool snapshot(const View& root, const std::filesystem::path& path);

}  // namespace zelvora::platform::headless
