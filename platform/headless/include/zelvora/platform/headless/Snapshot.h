#pragma once

#include <filesystem>

#include "zelvora/platform/ui/View.h"

namespace zelvora::platform::headless {

/// Draws `root` and everything below it into a PNG at `path`, one pixel per point, on a black
/// background the size of `root` (normally the key window). Hidden views and their subviews
/// are left out, alpha multiplies down the tree, and a view that clips to its bounds clips its
/// subviews to its (rounded) rectangle. Each view draws its background, then its content
/// (label text, button title and image, image view picture, a spinner for an animating
/// activity indicator, a grey "web: <url>" placeholder for a web view), then its subviews,
/// then its border. Returns whether the file was written.
bool snapshot(const View& root, const std::filesystem::path& path);

}  // namespace zelvora::platform::headless
