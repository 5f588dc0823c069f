#pragma once

#include "zelvora/Export.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

enum class ActivityIndicatorStyle { whiteLarge, white, gray };

class ZELVORA_API ActivityIndicatorView : public View {
 public:
  explicit ActivityIndicatorView(ActivityIndicatorStyle style = ActivityIndicatorStyle::white)
      : style(style) {
    const double side = style == ActivityIndicatorStyle::whiteLarge ? 37 : 20;
    frame = {0, 0, side, side};
    color = style == ActivityIndicatorStyle::gray ? Color::gray() : Color::white();
  }
  static std::shared_ptr<ActivityIndicatorView> make(ActivityIndicatorStyle style) {
    return std::make_shared<ActivityIndicatorView>(style);
  }

  void startAnimating() { isAnimating_ = true; }
  void stopAnimating() { isAnimating_ = false; }
  bool isAnimating() const { return isAnimating_; }

  std::optional<Size> intrinsicContentSize() const override { return frame.size(); }
  std::string typeName() const override { return "ActivityIndicatorView"; }
  std::string describeContent() const override { return isAnimating_ ? "animating" : ""; }

  const ActivityIndicatorStyle style;
  Color color;

 private:
  bool isAnimating_ = false;
};

}  // namespace zelvora::platform
