#include "zelvora/platform/headless/Snapshot.h"

#include <cairo.h>

#include <cmath>
#include <memory>

#include "zelvora/platform/render/ViewRenderer.h"

namespace zelvora::platform::headless {
namespace {

/// Larger surfaces are refused rather than allocated.
constexpr double largestSide = 16384;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

}  // namespace

bool snapshot(const View& root, const std::filesystem::path& path) {
  const double width = std::ceil(root.frame.width), height = std::ceil(root.frame.height);
  if (!std::isfinite(root.frame.x) || !std::isfinite(root.frame.y) ||
      !(width >= 1 && height >= 1) || width > largestSide || height > largestSide)
    return false;
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                             static_cast<int>(height)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  Context context(cairo_create(surface.get()));
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (!render::drawViewTree(cr, root)) return false;
  cairo_surface_flush(surface.get());
  return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace zelvora::platform::headless
