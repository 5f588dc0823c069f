#pragma once

#include <memory>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Image.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

enum class ContentMode { scaleToFill, scaleAspectFit, scaleAspectFill };

class ZELVORA_API ImageView : public View {
 public:
  using View::View;
  static std::shared_ptr<ImageView> make(Rect frame = {}) {
    return std::make_shared<ImageView>(frame);
  }

  std::optional<Size> intrinsicContentSize() const override;
  std::string typeName() const override { return "ImageView"; }
  std::string describeContent() const override;

  std::shared_ptr<Image> image;
  ContentMode contentMode = ContentMode::scaleToFill;
};

}  // namespace zelvora::platform
