#pragma once

#include <optional>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

enum class TextAlignment { left, center, right };

struct ZELVORA_API Font {
  std::string name = "Helvetica";
  double size = 17;
  bool bold = false;
};

/// The size of `text` in `font` on one line, rounded up to whole points, as the renderer lays
/// it out (with Pango): every backend lays out alike, at any scale of the display. Safe on any
/// thread.
ZELVORA_API Size measureText(const std::string& text, const Font& font);

class ZELVORA_API Label : public View {
 public:
  using View::View;
  static std::shared_ptr<Label> make(Rect frame = {}) { return std::make_shared<Label>(frame); }

  /// The text's size with the insets around it.
  std::optional<Size> intrinsicContentSize() const override;
  /// Resizes the frame to the text and its insets, keeping its origin.
  void sizeToFit();

  std::string typeName() const override { return "Label"; }
  std::string describeContent() const override { return "\"" + text + "\""; }

  std::string text;
  Font font;
  Color textColor = Color::black();
  std::optional<Color> shadowColor;
  Size shadowOffset{0, -1};
  TextAlignment textAlignment = TextAlignment::left;
  /// Space between the frame and the text, which is aligned and centred vertically within
  /// what is left: a background reaches around the text by that much.
  EdgeInsets textInsets;
};

}  // namespace zelvora::platform
