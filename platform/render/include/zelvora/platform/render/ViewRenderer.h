#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

// Drawing the view model with cairo, shared by every backend that shows it: the headless
// snapshots and the desktop window.
namespace zelvora::platform::render {

/// Draws `root` and everything below it onto `cr`, one unit per point, with the root's top-left
/// corner at the context's current origin (wherever the root's own frame sits). Only the views
/// are painted: the caller lays the background. Hidden views and their subviews are left out,
/// alpha multiplies down the tree, and a view that clips to its bounds clips its subviews to
/// its (rounded) rectangle. Each view draws its background, then its content (label text,
/// button title and image, image view picture, a spinner for an animating activity indicator,
/// and, with `placeholders`, a grey "web: <url>" placeholder for a web view and a dark
/// "video: ..." one for a video view), then its subviews, then its border. Without
/// `placeholders` (a backend whose engines show pages and videos in widgets of their own), the
/// places of pages and videos are left as they are. The context's state is restored
/// afterwards. Returns false when the context ends in an error state.
ZELVORA_API bool drawViewTree(cairo_t* cr, const View& root, bool placeholders = true);

/// Draws, as `drawViewTree` does without placeholders, only what the tree paints above the
/// `covered` views: the views that native widgets show over the drawing. Painting starts once the
/// walk has passed one of them (whose own subviews are left out, the widget hides them), so
/// whatever the model puts over a widget, such as a button over a page's corner, can be drawn again
/// over it. Returns the rectangles painted, in the root's bounds coordinates (clipping ignored).
ZELVORA_API std::vector<Rect> drawViewTreeAbove(cairo_t* cr, const View& root,
                                                const std::vector<const View*>& covered);

/// A digest of everything the two drawings above read from the tree (the views, their order,
/// frames, visibility, colours and content): when it is unchanged, a new drawing would show
/// the same picture.
std::uint64_t drawingSignature(const View& root);

}  // namespace zelvora::platform::render
