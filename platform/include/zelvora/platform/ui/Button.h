#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Image.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {

enum class ButtonType { custom, system };
enum class ControlState { normal, highlighted, disabled, selected };
enum class ControlEvent { touchUpInside };

/// A button with a title and an image per state, calling its targets' actions. Targets are
/// held weakly, as the platform does.
class ZELVORA_API Button : public View {
 public:
  explicit Button(ButtonType type = ButtonType::custom) : buttonType(type) {}
  static std::shared_ptr<Button> make(ButtonType type) { return std::make_shared<Button>(type); }

  void setTitle(const std::string& title, ControlState state) { titles_[state] = title; }
  void setTitleColor(const Color& color, ControlState state) { titleColors_[state] = color; }
  void setImage(std::shared_ptr<Image> image, ControlState state) { images_[state] = image; }
  /// The value for `state`, falling back to the normal state's.
  std::string title(ControlState state = ControlState::normal) const;
  Color titleColor(ControlState state = ControlState::normal) const;
  std::shared_ptr<Image> image(ControlState state = ControlState::normal) const;

  template <class Target>
  void addTarget(const std::shared_ptr<Target>& target, void (Target::*action)(),
                 ControlEvent event) {
    actions_.push_back({event, [weak = std::weak_ptr<Target>(target), action] {
                          if (auto strong = weak.lock()) ((*strong).*action)();
                        }});
  }
  /// Runs the actions registered for `event` (the backend calls this on a tap).
  void sendActions(ControlEvent event);

  std::optional<Size> intrinsicContentSize() const override;
  std::string typeName() const override { return "Button"; }
  std::string describeContent() const override { return "\"" + title() + "\""; }

  const ButtonType buttonType;
  bool isEnabled = true;
  Font titleFont{"Helvetica", 15};
  /// The size the image is shown at, in points; the image's own size (a pixel a point) unset.
  std::optional<Size> imageSize;

 private:
  std::map<ControlState, std::string> titles_;
  std::map<ControlState, Color> titleColors_;
  std::map<ControlState, std::shared_ptr<Image>> images_;
  std::vector<std::pair<ControlEvent, std::function<void()>>> actions_;
};

}  // namespace zelvora::platform
