#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace zelvora::test {

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < left; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

struct Rgb {
  int r, g, b;
};

/// A decoded PNG, read pixel by pixel.
class Picture {
 public:
  explicit Picture(const std::filesystem::path& path)
      : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Picture() { cairo_surface_destroy(surface_); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  Rgb at(int x, int y) const {
    const auto* row = cairo_image_surface_get_data(surface_) +
                      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
    const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
    return {static_cast<int>(pixel >> 16 & 0xff), static_cast<int>(pixel >> 8 & 0xff),
            static_cast<int>(pixel & 0xff)};
  }
  /// The bounding box of the pixels `matches` accepts.
  template <class Match>
  Box find(Match matches) const {
    Box box{width(), height(), -1, -1};
    for (int y = 0; y < height(); ++y)
      for (int x = 0; x < width(); ++x)
        if (matches(at(x, y))) {
          box.left = std::min(box.left, x), box.right = std::max(box.right, x);
          box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    return box;
  }

 private:
  cairo_surface_t* surface_;
};

}  // namespace zelvora::test
