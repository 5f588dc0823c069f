#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "text/TextLayout.h"
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

/// Where a label drew on a clear surface: the columns and rows holding ink.
struct Ink {
  int left = -1, right = -1, top = -1, bottom = -1;
  int width() const { return left < 0 ? 0 : right - left + 1; }
  int height() const { return top < 0 ? 0 : bottom - top + 1; }
};

/// Draws `label` at `scale` device pixels a point onto a clear surface just large enough.
Ink drawnInk(const Label& label, double scale, bool* drawn = nullptr) {
  const int width = static_cast<int>(label.frame.width * scale);
  const int height = static_cast<int>(label.frame.height * scale);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_set_device_scale(surface, scale, scale);
  cairo_t* cr = cairo_create(surface);
  const bool ok = render::drawViewTree(cr, label);
  if (drawn) *drawn = ok;
  cairo_destroy(cr);
  Ink ink;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((pixel(surface, x, y) >> 24) < 128) continue;
      if (ink.left < 0 || x < ink.left) ink.left = x;
      ink.right = std::max(ink.right, x);
      if (ink.top < 0) ink.top = y;
      ink.bottom = y;
    }
  }
  cairo_surface_destroy(surface);
  return ink;
}

// Scripts the model's sans lacks come from fallback fonts, right-to-left text runs right to
// left, malformed UTF-8 is drawn with replacement marks; the drawing is as wide as the
// measure says, also on a display of two pixels a point.
TEST(ViewRendererTest, TextIsShapedWithFallbackFontsAndDrawnAsWideAsMeasured) {
  struct Case {
    const char* name;
    std::string text;
    PangoDirection direction;
  };
  const Case cases[] = {
      {"latin", "Skippable in 5 seconds", PANGO_DIRECTION_LTR},
      {"arabic", "\u062A\u062E\u0637\u064A \u0627\u0644\u0625\u0639\u0644\u0627\u0646",
       PANGO_DIRECTION_RTL},
      {"hebrew", "\u05D3\u05DC\u05D2 \u05E2\u05DC \u05D4\u05E4\u05E8\u05E1\u05D5\u05DD",
       PANGO_DIRECTION_RTL},
      {"chinese", "\u8DF3\u8FC7\u5E7F\u544A", PANGO_DIRECTION_LTR},
      {"japanese", "\u5E83\u544A\u3092\u30B9\u30AD\u30C3\u30D7", PANGO_DIRECTION_LTR},
      {"malformed", "bad \xff\xc3 text \xed\xa0\x80 end", PANGO_DIRECTION_LTR},
  };
  const Font font{"HelveticaNeue", 24, false};
  for (const auto& [name, text, direction] : cases) {
    SCOPED_TRACE(name);
    const auto layout = text::layoutLine(text, font);
    ASSERT_TRUE(layout);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout.get()), 0) << "a glyph has no font";
    EXPECT_EQ(pango_layout_get_line_readonly(layout.get(), 0)->resolved_dir, direction);

    const Size measured = measureText(text, font);
    const double glyphs = static_cast<double>(g_utf8_strlen(text::wellFormed(text).c_str(), -1));
    EXPECT_GT(measured.width, glyphs * font.size * 0.3);
    EXPECT_LT(measured.width, glyphs * font.size * 1.1);
    auto label = Label::make({0, 0, measured.width, measured.height});
    label->text = text;
    label->font = font;
    for (const double scale : {1.0, 2.0}) {
      bool drawn = false;
      const Ink ink = drawnInk(*label, scale, &drawn);
      EXPECT_TRUE(drawn) << "cairo is in an error state at scale " << scale;
      // The ink lies within the measured advance, and fills most of it.
      EXPECT_GE(ink.left, 0) << "no ink at scale " << scale;
      EXPECT_LE(ink.right, measured.width * scale) << "at scale " << scale;
      EXPECT_GT(ink.width(), measured.width * scale * 0.75) << "at scale " << scale;
      EXPECT_GT(ink.height(), font.size * scale * 0.4) << "at scale " << scale;
    }
  }
  // The replacement marks are what the measure counts as well.
  EXPECT_EQ(measureText("a\xff"
                        "b",
                        font),
            measureText("a\uFFFDb", font));
  EXPECT_EQ(text::wellFormed(std::string("a\0b\xc0\xaf", 5)), "a\uFFFDb\uFFFD\uFFFD");
}

}  // namespace
}  // namespace zelvora::platform
