#pragma once

#include <memory>

#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// A white frame with rounded corners and a grey border around an ad's creative.
class FrameView : public platform::View {
 public:
  FrameView();
  static std::shared_ptr<FrameView> make() { return std::make_shared<FrameView>(); }

  /// Insets `subview` by 5 points on every side; the caller has added it to the frame.
  void setupSubView();

  std::string typeName() const override { return "FrameView"; }

  std::shared_ptr<platform::View> subview;
};

}  // namespace zelvora
