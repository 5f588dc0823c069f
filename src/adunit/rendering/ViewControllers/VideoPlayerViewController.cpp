#include "adunit/rendering/ViewControllers/VideoPlayerViewController.h"

#include "adunit/rendering/InterfaceScale.h"

namespace zelvora {
using namespace platform;

VideoPlayerViewController::~VideoPlayerViewController() {
  if (activeObserver_) Application::shared().removeObserver(*activeObserver_);
}

// From its appearance on: before, the presentation's end starts the video (an ad that never
// appears must not play, nor count a VAST impression).
void VideoPlayerViewController::viewDidAppear(bool) {
  if (activeObserver_) return;
  activeObserver_ = Application::shared().addDidBecomeActiveObserver(
      [weak = std::weak_ptr<ViewController>(shared_from_this())] {
        if (auto self = std::static_pointer_cast<VideoPlayerViewController>(weak.lock()))
          self->resumePlayback();
      });
}

void VideoPlayerViewController::viewWillDisappear(bool) {
  if (activeObserver_) Application::shared().removeObserver(*activeObserver_);
  activeObserver_.reset();
}

void VideoPlayerViewController::viewWillLayoutSubviews() {
  PlayerViewController::viewWillLayoutSubviews();
  overlayLayout.apply(interfaceScale(view()->bounds().size()));
}

void VideoPlayerViewController::resumePlayback() {
  if (auto playing = player()) playing->play();
}

}  // namespace zelvora
