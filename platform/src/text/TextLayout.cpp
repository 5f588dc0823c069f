#include "text/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zelvora::platform::text {
namespace {

/// Beyond this Pango's fixed-point sizes overflow; no screen shows a larger letter.
constexpr double maxFontSize = 4096;

/// A font map and two contexts for the calling thread: Pango's font maps are not thread-safe.
/// The drawing context follows each drawing's transformation and surface; the measuring one
/// never does, so a measure does not depend on what was drawn last.
class ThreadFonts {
 public:
  ThreadFonts()
      : map_(pango_cairo_font_map_new()), measuring_(context(map_)), drawing_(context(map_)) {}
  ~ThreadFonts() {
    g_object_unref(drawing_);
    g_object_unref(measuring_);
    g_object_unref(map_);
  }
  ThreadFonts(const ThreadFonts&) = delete;
  ThreadFonts& operator=(const ThreadFonts&) = delete;

  PangoContext* measuring() const { return measuring_; }
  PangoContext* drawing() const { return drawing_; }

 private:
  static PangoContext* context(PangoFontMap* map) {
    PangoContext* context = pango_font_map_create_context(map);
    // Unhinted metrics and unrounded positions: advances scale linearly, so a line is as
    // wide on a doubled display as the measure says, and the same on every surface.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    return context;
  }

  PangoFontMap* map_;
  PangoContext* measuring_;
  PangoContext* drawing_;
};

ThreadFonts& threadFonts() {
  thread_local ThreadFonts fonts;
  return fonts;
}

/// The model names a phone's system fonts ("HelveticaNeue", "HelveticaNeue-Bold"): here they
/// are the system's sans, whatever fontconfig would substitute for the name itself.
PangoFontDescription* describe(const Font& font) {
  PangoFontDescription* description = pango_font_description_new();
  const bool helvetica = font.name.empty() || font.name.rfind("Helvetica", 0) == 0;
  const std::string family = helvetica ? "Sans" : font.name + ",Sans";
  const bool bold = font.bold || font.name.find("-Bold") != std::string::npos;
  pango_font_description_set_family(description, family.c_str());
  pango_font_description_set_weight(description, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(description,
                                           std::min(font.size, maxFontSize) * PANGO_SCALE);
  return description;
}

}  // namespace

std::string wellFormed(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    const unsigned char lead = bytes[i];
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, least = 0x10000;
    }
    bool valid = length > 0 && i + length <= size;
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (bytes[i + k] & 0xC0) == 0x80;
      code = code << 6 | (bytes[i + k] & 0x3F);
    }
    // NUL too: Pango would end the text there.
    valid =
        valid && code != 0 && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

Layout layoutLine(const std::string& text, const Font& font, cairo_t* cr) {
  if (!(font.size > 0)) return nullptr;
  PangoContext* context = cr ? threadFonts().drawing() : threadFonts().measuring();
  if (cr) pango_cairo_update_context(cr, context);
  Layout layout(pango_layout_new(context));
  PangoFontDescription* description = describe(font);
  pango_layout_set_font_description(layout.get(), description);
  pango_font_description_free(description);
  pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
  const std::string valid = wellFormed(text);
  pango_layout_set_text(layout.get(), valid.data(), static_cast<int>(valid.size()));
  return layout;
}

Size logicalSize(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE};
}

}  // namespace zelvora::platform::text
