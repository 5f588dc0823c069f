#pragma once

#include <memory>
#include <optional>

#include "zelvora/platform/ui/Button.h"
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
class AdContainerView : public platform::View {
 public:
  /// The top inset is fixed by `currentOrientation`: 40 for portrait, 20 otherwise.
  static std::shared_ptr<AdContainerView> make(platform::InterfaceOrientation currentOrientation);

  int getContentWidth() const;
  int getContentHeight() const;
  int getContentXPosition() const;
  int getContentYPosition() const;

  /// The close button's action.
  void dismissView();

  std::string typeName() const override { return "AdContainerView"; }

  const double closeButtonSize = 40;
  std::shared_ptr<platform::View> contentView;
  std::shared_ptr<platform::Button> closeButton;
  std::optional<platform::InterfaceOrientation> currentOrientation;
  std::weak_ptr<CloseButtonEventDelegate> closeEventDelegate;

 private:
  void setupContentView();
  void setupCloseButton();
};

}  // namespace zelvora
