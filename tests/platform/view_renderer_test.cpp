#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <memory>

#include "zelvora/platform/render/ViewRenderer.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform {
namespace {

std::uint32_t pixel(cairo_surface_t* surface, int x, int y) {
  cairo_surface_flush(surface);
  const auto* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const std::uint32_t*>(row)[x];
}

// The renderer's form of an image: premultiplied native words, made once and kept.
TEST(ViewRendererTest, AnImageIsPremultipliedOnceAndDrawnFromThat) {
  auto image =
      std::make_shared<Image>(2, 1, std::vector<std::uint8_t>{255, 0, 0, 128, 10, 20, 30, 255});
  const auto& words = image->premultiplied();
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0], 0x80800000u);
  EXPECT_EQ(words[1], 0xFF0A141Eu);
  EXPECT_EQ(image->premultiplied().data(), words.data());
  EXPECT_TRUE(Image(3, 3, std::vector<std::uint8_t>(8)).premultiplied().empty());

  auto view = std::make_shared<ImageView>(Rect{0, 0, 2, 1});
  view->image = image;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 1);
  cairo_t* cr = cairo_create(surface);
  ASSERT_TRUE(render::drawViewTree(cr, *view));
  cairo_destroy(cr);
  EXPECT_EQ(pixel(surface, 0, 0), 0x80800000u);
  EXPECT_EQ(pixel(surface, 1, 0), 0xFF0A141Eu);
  cairo_surface_destroy(surface);
}

// A page shown by a native widget, a badge over its corner inside a bordered frame, and a
// caption laid before the page: only what lies above the page is drawn again over it.
TEST(ViewRendererTest, TheLayerAboveANativeViewHoldsWhatTheTreePutsOverIt) {
  auto root = View::make({0, 0, 100, 100});
  auto frame = View::make({10, 10, 80, 80});
  frame->layer.borderWidth = 2;
  frame->layer.borderColor = {0, 0, 1, 1};
  auto caption = Label::make({0, 0, 80, 10});
  caption->backgroundColor = Color{1, 0, 0, 1};
  auto page = std::make_shared<WebView>(Rect{0, 0, 80, 80});
  auto clear = View::make({0, 0, 80, 80});
  clear->backgroundColor = Color{0, 0, 0, 0};
  auto badge = View::make({60, 0, 20, 20});
  badge->backgroundColor = Color{0, 1, 0, 1};
  frame->addSubview(caption);
  frame->addSubview(page);
  frame->addSubview(clear);
  frame->addSubview(badge);
  root->addSubview(frame);

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
  cairo_t* cr = cairo_create(surface);
  const auto painted = render::drawViewTreeAbove(cr, *root, {page.get()});
  cairo_destroy(cr);

  // The badge and the frame's four edges; not the clear view, not the caption below the page.
  ASSERT_EQ(painted.size(), 5u);
  EXPECT_EQ(painted[0], (Rect{70, 10, 20, 20}));
  EXPECT_EQ(painted[1], (Rect{10, 10, 80, 2}));
  EXPECT_EQ(pixel(surface, 80, 20), 0xff00ff00u);  // the badge
  EXPECT_EQ(pixel(surface, 30, 15), 0u);           // the caption is not drawn again
  EXPECT_EQ(pixel(surface, 50, 50), 0u);           // nor the page's placeholder
  EXPECT_EQ(pixel(surface, 50, 10), 0xff0000ffu);  // the frame's border, above its subviews
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace zelvora::platform
