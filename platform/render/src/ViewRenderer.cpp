#include "zelvora/platform/render/ViewRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <type_traits>
#include <vector>

#include "text/TextLayout.h"
#include "zelvora/platform/media/VideoView.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/WebView.h"
#include "zelvora/platform/ui/Window.h"

namespace zelvora::platform::render {
namespace {

constexpr double pi = std::numbers::pi;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

bool finite(const Rect& rect) {
  return std::isfinite(rect.x) && std::isfinite(rect.y) && std::isfinite(rect.width) &&
         std::isfinite(rect.height);
}

void setColor(cairo_t* cr, const Color& color, double alpha) {
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha * alpha);
}

void roundedRect(cairo_t* cr, Rect rect, double radius) {
  radius = std::clamp(radius, 0.0, std::min(rect.width, rect.height) / 2);
  if (radius <= 0) {
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    return;
  }
  const double right = rect.x + rect.width, bottom = rect.y + rect.height;
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - radius, rect.y + radius, radius, -pi / 2, 0);
  cairo_arc(cr, right - radius, bottom - radius, radius, 0, pi / 2);
  cairo_arc(cr, rect.x + radius, bottom - radius, radius, pi / 2, pi);
  cairo_arc(cr, rect.x + radius, rect.y + radius, radius, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

/// The image's own premultiplied pixels as a cairo surface, without a copy; none when empty.
Surface surfaceOf(const Image& image) {
  const auto& pixels = image.premultiplied();
  const int width = image.width(), height = image.height();
  if (pixels.empty() || cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width) != width * 4)
    return nullptr;
  // Cairo only reads a source surface.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels.data()));
  Surface surface(
      cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, width * 4));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

/// Draws `image` into `box` as `mode` places it: stretched, fitted or filling, centred.
void drawImage(cairo_t* cr, const Image& image, Rect box, ContentMode mode, double alpha) {
  auto surface = surfaceOf(image);
  if (!surface || box.width <= 0 || box.height <= 0) return;
  double scaleX = box.width / image.width(), scaleY = box.height / image.height();
  if (mode == ContentMode::scaleAspectFit) scaleX = scaleY = std::min(scaleX, scaleY);
  if (mode == ContentMode::scaleAspectFill) scaleX = scaleY = std::max(scaleX, scaleY);
  cairo_save(cr);
  cairo_translate(cr, box.x + (box.width - image.width() * scaleX) / 2,
                  box.y + (box.height - image.height() * scaleY) / 2);
  cairo_scale(cr, scaleX, scaleY);
  cairo_rectangle(cr, 0, 0, image.width(), image.height());
  cairo_clip(cr);
  cairo_set_source_surface(cr, surface.get(), 0, 0);
  // Pad, so that scaled edges do not fade into the transparency around the bitmap.
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

/// Draws a laid-out line starting at `x`, centred vertically in a band of `height` from the top
/// of the current space.
void drawLine(cairo_t* cr, PangoLayout* layout, double x, double height, const Color& color,
              double alpha) {
  cairo_move_to(cr, x, (height - text::logicalSize(layout).height) / 2);
  setColor(cr, color, alpha);
  pango_cairo_show_layout(cr, layout);
  cairo_new_path(cr);
}

void drawLabel(cairo_t* cr, const Label& label, double alpha) {
  if (label.text.empty()) return;
  const auto layout = text::layoutLine(label.text, label.font, cr);
  if (!layout) return;
  const auto& insets = label.textInsets;
  const double width = label.frame.width - insets.left - insets.right;
  const double height = label.frame.height - insets.top - insets.bottom;
  const double advance = text::logicalSize(layout.get()).width;
  double x = 0;
  if (label.textAlignment == TextAlignment::center) x = (width - advance) / 2;
  if (label.textAlignment == TextAlignment::right) x = width - advance;
  cairo_save(cr);
  cairo_translate(cr, insets.left, insets.top);
  if (label.shadowColor) {
    cairo_save(cr);
    cairo_translate(cr, label.shadowOffset.width, label.shadowOffset.height);
    drawLine(cr, layout.get(), x, height, *label.shadowColor, alpha);
    cairo_restore(cr);
  }
  drawLine(cr, layout.get(), x, height, label.textColor, alpha);
  cairo_restore(cr);
}

/// The image (at the button's image size, shrunk to the button's height when taller) and the
/// title after it, centred together.
void drawButton(cairo_t* cr, const Button& button, double alpha) {
  const auto state = button.isEnabled ? ControlState::normal : ControlState::disabled;
  const std::string title = button.title(state);
  const auto image = button.image(state);
  Size imageSize;
  if (image && image->height() > 0) {
    const Size natural = button.imageSize.value_or(
        Size{static_cast<double>(image->width()), static_cast<double>(image->height())});
    const double scale =
        natural.height > 0 ? std::min(1.0, button.frame.height / natural.height) : 0;
    imageSize = {natural.width * scale, natural.height * scale};
  }
  const auto layout = title.empty() ? nullptr : text::layoutLine(title, button.titleFont, cr);
  const double titleWidth = layout ? text::logicalSize(layout.get()).width : 0;
  const double left = (button.frame.width - imageSize.width - titleWidth) / 2;
  if (image) {
    drawImage(
        cr, *image,
        {left, (button.frame.height - imageSize.height) / 2, imageSize.width, imageSize.height},
        ContentMode::scaleToFill, alpha);
  }
  if (layout) {
    drawLine(cr, layout.get(), left + imageSize.width, button.frame.height,
             button.titleColor(state), alpha);
  }
}

/// Three quarters of a ring, as a still frame of the spinning indicator.
void drawSpinner(cairo_t* cr, const ActivityIndicatorView& indicator, double alpha) {
  const double side = std::min(indicator.frame.width, indicator.frame.height);
  if (side <= 0) return;
  const double lineWidth = std::max(2.0, side / 8);
  const double radius = std::max(0.0, side / 2 - lineWidth / 2);
  cairo_save(cr);
  cairo_set_line_width(cr, lineWidth);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColor(cr, indicator.color, alpha);
  cairo_new_sub_path(cr);
  cairo_arc(cr, indicator.frame.width / 2, indicator.frame.height / 2, radius, -pi / 2, pi);
  cairo_stroke(cr);
  cairo_restore(cr);
}

/// A box naming the content where the backend's engine would draw it: a web page (named at
/// the top) or a video (named in the middle, clear of the overlay's corners).
void drawPlaceholder(cairo_t* cr, const Rect& box, const std::string& text, bool middle,
                     const Color& fill, const Color& ink, double alpha) {
  cairo_save(cr);
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  cairo_clip_preserve(cr);
  setColor(cr, fill, alpha);
  cairo_fill(cr);
  const Font font{"Helvetica", 12, false};
  if (const auto layout = text::layoutLine(text, font, cr))
    drawLine(cr, layout.get(), 4, middle ? box.height : 2 * 4 + font.size, ink, alpha);
  cairo_restore(cr);
}

/// Returns whether the view has content of its own and it was drawn. Pages and videos are
/// named in a placeholder only when `placeholders` asks for it: a backend whose engines show
/// them leaves their place to the engine's widgets.
bool drawContent(cairo_t* cr, const View& view, double alpha, bool placeholders) {
  if (auto label = dynamic_cast<const Label*>(&view)) {
    drawLabel(cr, *label, alpha);
  } else if (auto button = dynamic_cast<const Button*>(&view)) {
    drawButton(cr, *button, alpha);
  } else if (auto imageView = dynamic_cast<const ImageView*>(&view)) {
    if (!imageView->image) return false;
    drawImage(cr, *imageView->image, view.bounds(), imageView->contentMode, alpha);
  } else if (auto indicator = dynamic_cast<const ActivityIndicatorView*>(&view)) {
    if (!indicator->isAnimating()) return false;
    drawSpinner(cr, *indicator, alpha);
  } else if (auto webView = dynamic_cast<const WebView*>(&view)) {
    if (!placeholders) return false;
    drawPlaceholder(cr, view.bounds(), "web: " + webView->url().value_or(""), false,
                    {0.85, 0.85, 0.85, 1}, {0.25, 0.25, 0.25, 1}, alpha);
  } else if (dynamic_cast<const VideoView*>(&view)) {
    if (!placeholders) return false;
    drawPlaceholder(cr, view.bounds(), "video: " + view.describeContent(), true,
                    {0.12, 0.14, 0.2, 1}, {0.6, 0.6, 0.65, 1}, alpha);
  } else {
    return false;
  }
  return true;
}

/// One drawing pass over the tree. A full pass paints every view; a pass above native widgets
/// starts painting only once it has passed one of the `covered` views (skipping what lies
/// inside them), so that it paints exactly what the tree puts over them.
struct Pass {
  const std::vector<const View*>* covered = nullptr;
  bool painting = true;
  /// The rectangles painted, in the root's coordinates, when wanted.
  std::vector<Rect>* painted = nullptr;
  bool placeholders = true;
};

void drawView(cairo_t* cr, const View& view, double inheritedAlpha, Pass& pass, Point origin) {
  if (view.isHidden || !finite(view.frame) || !std::isfinite(view.alpha)) return;
  const double alpha = inheritedAlpha * std::clamp(view.alpha, 0.0, 1.0);
  if (alpha <= 0) return;
  if (pass.covered &&
      std::find(pass.covered->begin(), pass.covered->end(), &view) != pass.covered->end()) {
    pass.painting = true;
    return;
  }
  origin = {origin.x + view.frame.x, origin.y + view.frame.y};
  cairo_save(cr);
  cairo_translate(cr, view.frame.x, view.frame.y);
  const Rect bounds = view.bounds();
  const bool drawable = bounds.width > 0 && bounds.height > 0;
  const double radius = view.layer.cornerRadius;
  const auto paints = [&] {
    if (pass.painted) pass.painted->push_back({origin.x, origin.y, bounds.width, bounds.height});
  };
  const bool painting = pass.painting;
  if (painting && view.backgroundColor && drawable) {
    roundedRect(cr, bounds, radius);
    setColor(cr, *view.backgroundColor, alpha);
    cairo_fill(cr);
    // A clear background shows nothing: over a native widget it must not take its clicks.
    if (view.backgroundColor->alpha > 0) paints();
  }
  if (view.clipsToBounds) {
    roundedRect(cr, drawable ? bounds : Rect{}, radius);
    cairo_clip(cr);
  }
  if (painting && drawable && drawContent(cr, view, alpha, pass.placeholders)) paints();
  for (const auto& child : view.subviews()) drawView(cr, *child, alpha, pass, origin);
  const double border = view.layer.borderWidth;
  if (pass.painting && border > 0 && drawable) {
    // Inside the bounds, above the subviews.
    const Rect inset{border / 2, border / 2, bounds.width - border, bounds.height - border};
    if (inset.width > 0 && inset.height > 0) {
      roundedRect(cr, inset, radius - border / 2);
      cairo_set_line_width(cr, border);
      setColor(cr, view.layer.borderColor, alpha);
      cairo_stroke(cr);
      // Only the frame's edges: what the view holds stays uncovered.
      if (pass.painted) {
        const double right = origin.x + bounds.width - border;
        const double bottom = origin.y + bounds.height - border;
        pass.painted->insert(pass.painted->end(), {{origin.x, origin.y, bounds.width, border},
                                                   {origin.x, bottom, bounds.width, border},
                                                   {origin.x, origin.y, border, bounds.height},
                                                   {right, origin.y, border, bounds.height}});
      }
    }
  }
  cairo_restore(cr);
}

std::shared_ptr<View> focusedView(const View& root) {
  const auto* window = dynamic_cast<const Window*>(&root);
  return window ? window->focusedView() : nullptr;
}

/// A ring around the focused view, outside its edges, drawn in the root's bounds coordinates
/// and kept inside them (a page filling the screen still shows it): amber with a dark edge, so
/// that it shows on light and dark content alike.
void drawFocusRing(cairo_t* cr, const View& root, Pass& pass) {
  const auto focused = focusedView(root);
  if (!focused) return;
  constexpr double width = 3, gap = 2, edge = 1.5;
  Rect ring = focused->frameInRoot();
  ring = {ring.x - root.frame.x - gap - width / 2, ring.y - root.frame.y - gap - width / 2,
          ring.width + 2 * gap + width, ring.height + 2 * gap + width};
  const double inside = width / 2 + edge;
  const double left = std::max(ring.x, inside), top = std::max(ring.y, inside);
  const double right = std::min(ring.x + ring.width, root.frame.width - inside);
  const double bottom = std::min(ring.y + ring.height, root.frame.height - inside);
  if (!(right > left && bottom > top)) return;
  ring = {left, top, right - left, bottom - top};
  const double radius = focused->layer.cornerRadius > 0 ? focused->layer.cornerRadius + gap : 0;
  cairo_save(cr);
  roundedRect(cr, ring, radius);
  cairo_set_line_width(cr, width + 2 * edge);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
  cairo_stroke_preserve(cr);
  cairo_set_line_width(cr, width);
  setColor(cr, focusRingColor, 1);
  cairo_stroke(cr);
  cairo_restore(cr);
  if (pass.painted) {
    const double band = width + 2 * edge, half = band / 2;
    pass.painted->insert(
        pass.painted->end(),
        {{ring.x - half + root.frame.x, ring.y - half + root.frame.y, ring.width + band, band},
         {ring.x - half + root.frame.x, ring.y + ring.height - half + root.frame.y,
          ring.width + band, band},
         {ring.x - half + root.frame.x, ring.y - half + root.frame.y, band, ring.height + band},
         {ring.x + ring.width - half + root.frame.x, ring.y - half + root.frame.y, band,
          ring.height + band}});
  }
}

bool drawRoot(cairo_t* cr, const View& root, Pass& pass) {
  cairo_save(cr);
  // The root is drawn at the context's origin, wherever its own frame sits.
  cairo_translate(cr, -root.frame.x, -root.frame.y);
  drawView(cr, root, 1, pass, {});
  cairo_restore(cr);
  drawFocusRing(cr, root, pass);
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

/// FNV-1a over everything the drawing reads.
class Signature {
 public:
  template <typename T>
  void add(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes(&value, sizeof value);
  }
  void add(const std::string& text) {
    add(text.size());
    bytes(text.data(), text.size());
  }
  void add(const Color& color) {
    add(color.red), add(color.green), add(color.blue), add(color.alpha);
  }
  void add(const Rect& rect) { add(rect.x), add(rect.y), add(rect.width), add(rect.height); }
  void add(const Size& size) { add(size.width), add(size.height); }
  void add(const EdgeInsets& insets) {
    add(insets.top), add(insets.left), add(insets.bottom), add(insets.right);
  }
  void add(const Font& font) { add(font.name), add(font.size), add(font.bold); }
  void add(const std::optional<Color>& color) {
    add(color.has_value());
    if (color) add(*color);
  }
  std::uint64_t value() const { return hash_; }

 private:
  void bytes(const void* data, std::size_t size) {
    for (const auto* byte = static_cast<const unsigned char*>(data); size--; ++byte)
      hash_ = (hash_ ^ *byte) * 1099511628211u;
  }
  std::uint64_t hash_ = 14695981039346656037u;
};

void addContent(Signature& signature, const View& view) {
  if (auto label = dynamic_cast<const Label*>(&view)) {
    signature.add(label->text), signature.add(label->font), signature.add(label->textColor);
    signature.add(label->shadowColor), signature.add(label->shadowOffset.width);
    signature.add(label->shadowOffset.height), signature.add(label->textAlignment);
    signature.add(label->textInsets);
  } else if (auto button = dynamic_cast<const Button*>(&view)) {
    const auto state = button->isEnabled ? ControlState::normal : ControlState::disabled;
    signature.add(button->title(state)), signature.add(button->titleColor(state));
    signature.add(button->image(state).get()), signature.add(button->titleFont);
    signature.add(button->imageSize.value_or(Size{-1, -1}));
  } else if (auto imageView = dynamic_cast<const ImageView*>(&view)) {
    signature.add(imageView->image.get()), signature.add(imageView->contentMode);
  } else if (auto indicator = dynamic_cast<const ActivityIndicatorView*>(&view)) {
    signature.add(indicator->isAnimating()), signature.add(indicator->color);
  } else if (auto webView = dynamic_cast<const WebView*>(&view)) {
    signature.add(webView->url().value_or(""));
  } else if (dynamic_cast<const VideoView*>(&view)) {
    signature.add(view.describeContent());
  }
}

void addView(Signature& signature, const View& view) {
  signature.add(&view);
  signature.add(view.frame), signature.add(view.isHidden), signature.add(view.alpha);
  signature.add(view.backgroundColor), signature.add(view.clipsToBounds);
  signature.add(view.layer.borderWidth), signature.add(view.layer.borderColor);
  signature.add(view.layer.cornerRadius);
  addContent(signature, view);
  signature.add(view.subviews().size());
  for (const auto& child : view.subviews()) addView(signature, *child);
}

}  // namespace

std::uint64_t drawingSignature(const View& root) {
  Signature signature;
  addView(signature, root);
  const auto focused = focusedView(root);
  signature.add(focused.get());
  if (focused) signature.add(focused->frameInRoot());
  return signature.value();
}

bool drawViewTree(cairo_t* cr, const View& root, bool placeholders) {
  Pass pass;
  pass.placeholders = placeholders;
  return drawRoot(cr, root, pass);
}

std::vector<Rect> drawViewTreeAbove(cairo_t* cr, const View& root,
                                    const std::vector<const View*>& covered) {
  std::vector<Rect> painted;
  Pass pass{&covered, false, &painted, false};
  drawRoot(cr, root, pass);
  for (auto& rect : painted) {
    rect.x -= root.frame.x;
    rect.y -= root.frame.y;
  }
  return painted;
}

}  // namespace zelvora::platform::render
