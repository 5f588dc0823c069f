#include "zelvora/platform/media/PlayerViewController.h"

#include <cstdio>

#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora::platform {
namespace {

/// Lays `view` over the whole of `container`, following its size.
void fill(const std::shared_ptr<View>& container, const std::shared_ptr<View>& view) {
  view->frame = container->bounds();
  view->translatesAutoresizingMaskIntoConstraints = false;
  container->addSubview(view);
  for (const auto edge : {LayoutAttribute::leading, LayoutAttribute::trailing, LayoutAttribute::top,
                          LayoutAttribute::bottom}) {
    LayoutConstraint::make(view, edge, LayoutRelation::equal, container, edge, 1, 0)
        ->setActive(true);
  }
}

}  // namespace

std::string VideoView::describeContent() const {
  auto item = player ? player->currentItem() : nullptr;
  if (!item) return "";
  char time[32];
  std::snprintf(time, sizeof time, " %.1fs", player->currentTime());
  return item->url() + time;
}

void PlayerViewController::setPlayer(std::shared_ptr<Player> player) {
  player_ = std::move(player);
  if (videoView_) videoView_->player = player_;
}

std::shared_ptr<View> PlayerViewController::contentOverlayView() {
  view();
  return contentOverlay_;
}

std::shared_ptr<VideoView> PlayerViewController::videoView() {
  view();
  return videoView_;
}

void PlayerViewController::loadView() {
  auto window = Application::shared().keyWindow();
  auto root = View::make(window ? window->bounds() : Rect{});
  root->backgroundColor = Color::black();
  videoView_ = VideoView::make();
  videoView_->player = player_;
  contentOverlay_ = View::make();
  fill(root, videoView_);
  fill(root, contentOverlay_);
  setView(root);
}

void PlayerViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  if (!showsPlaybackControls || controls_) return;
  auto button = Button::make(ButtonType::system);
  button->frame = {16, 16, 64, 40};
  button->setTitle("Done", ControlState::normal);
  button->setTitleColor(Color::white(), ControlState::normal);
  button->accessibilityIdentifier = "player-done";
  button->accessibilityLabel = "Done";
  button->addTarget(std::static_pointer_cast<PlayerViewController>(shared_from_this()),
                    &PlayerViewController::done, ControlEvent::touchUpInside);
  controls_ = button;
  view()->addSubview(button);
  view()->accessibilityPerformEscape = tapLater(button);
}

void PlayerViewController::done() {
  if (player_) player_->pause();
  dismiss(true);
}

}  // namespace zelvora::platform
