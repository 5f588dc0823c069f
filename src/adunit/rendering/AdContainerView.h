#pragma once

#include <memory>
#include <optional>

#include "adunit/rendering/ScaledLayout.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora {

/// Told when the user taps an interstitial's close button; the ad decides how to close.
class CloseButtonEventDelegate {
 public:
  virtual ~CloseButtonEventDelegate() = default;
  virtual void onClose() = 0;
};

/// The full-window root of an interstitial: dims the screen, holds the ad in an inset content
/// view, and carries a round close button "X" centred on the content's top-right corner.
///
/// Its sizes are a phone's (a 40-point button, the content inset by half a button at the sides
/// and a button below) scaled by `interfaceScale` of the container's size. The content fills
/// the room the button leaves, or, given a view to fit (`fitContentTo`), takes that view's
/// shape at the largest size the room allows, centred. In test mode the "Test ad" mark lies in
/// the content's bottom-left corner, above the ad and beneath the close button.
class AdContainerView : public platform::View {
 public:
  /// The top inset is fixed by `currentOrientation`: a button for portrait, half of one
  /// otherwise.
  static std::shared_ptr<AdContainerView> make(platform::InterfaceOrientation currentOrientation);

  int getContentWidth() const;
  int getContentHeight() const;
  int getContentXPosition() const;
  int getContentYPosition() const;

  /// The close button's action.
  void dismissView();

  /// Sizes the content view to `content`'s intrinsic size plus `padding`, scaled to fit with
  /// the aspect kept and never more than twice the intrinsic size (a picture past that turns
  /// soft). Until `content` has a size, the content view fills the room.
  void fitContentTo(const std::shared_ptr<platform::View>& content, platform::Size padding = {});
  /// Brings the content's place and the close button's size up to the container's size; the
  /// interstitial's view controller calls it before each layout.
  void updateLayout();
  /// Sizes of views laid over the container (at a phone's size) that follow its scale from now
  /// on, as its own do.
  void scaleWithContainer(ScaledLayout layout);

  std::string typeName() const override { return "AdContainerView"; }

  /// The close button's side at a phone's size.
  const double closeButtonSize = 40;
  std::shared_ptr<platform::View> contentView;
  std::shared_ptr<platform::Button> closeButton;
  std::optional<platform::InterfaceOrientation> currentOrientation;
  std::weak_ptr<CloseButtonEventDelegate> closeEventDelegate;

 private:
  void setupContentView();
  void setupCloseButton();

  std::weak_ptr<platform::View> fitted_;
  platform::Size padding_;
  /// The close button's title size at a phone's size.
  double titleSize_ = 0;
  ScaledLayout overViews_;
  ScaledLayout testAdLayout_;
  std::shared_ptr<platform::LayoutConstraint> contentLeft_, contentTop_, contentWidth_,
      contentHeight_, closeWidth_, closeHeight_, closeTop_, closeTrailing_;
};

}  // namespace zelvora
