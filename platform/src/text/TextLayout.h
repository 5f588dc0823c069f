#pragma once

#include <pango/pangocairo.h>

#include <memory>
#include <string>

#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/Label.h"

// Text laid out with Pango, shared by the model's measure and the renderer, so that a label
// sized to its text is exactly as wide as the text drawn in it.
namespace zelvora::platform::text {

/// `text` with every byte that does not start a well-formed UTF-8 sequence replaced by
/// U+FFFD: Pango warns about malformed text and cairo refuses it with an error state.
std::string wellFormed(const std::string& text);

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using Layout = std::unique_ptr<PangoLayout, LayoutDeleter>;

/// `text` (made well formed) on one line in `font`, shaped, with fonts for the scripts the
/// font lacks and the direction of its first strong letter. For drawing on `cr` when given,
/// for measuring otherwise. Metrics are never hinted, so the width is the same at any scale of
/// the drawing and on any thread. None for a size that is not positive.
Layout layoutLine(const std::string& text, const Font& font, cairo_t* cr = nullptr);

/// The line's logical size (advance and line height), in points.
Size logicalSize(PangoLayout* layout);

}  // namespace zelvora::platform::text
