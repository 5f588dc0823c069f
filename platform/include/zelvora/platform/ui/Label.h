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

/// Estimated size of `text` in `font` on one line: the model's stand-in for text metrics, so
/// that layout is the same in every backend.
ZELVORA_API Size measureText(const std::string& text, const Font& font);

class ZELVORA_API Label : public View {
 public:
  using View::View;
  static std::shared_ptr<Label> make(Rect frame = {}) { return std::make_shared<Label>(frame); }

  std::optional<Size> intrinsicContentSize() const override { return measureText(text, font); }
  /// Resizes the frame to the text, keeping its origin.
  void sizeToFit();

  std::string typeName() const override { return "Label"; }
  std::string describeContent() const override { return "\"" + text + "\""; }

  std::string text;
  Font font;
  Color textColor = Color::black();
  std::optional<Color> shadowColor;
  Size shadowOffset{0, -1};
  TextAlignment textAlignment = TextAlignment::left;
};

}  // namespace zelvora::platform
