#include "adunit/components/Banner.h"

#include "adunit/components/DecodedImages.h"

#include "zelvora/platform/ui/GestureRecognizer.h"

namespace zelvora {

std::shared_ptr<Banner> Banner::make(const std::string& initWithUrl) {
  std::shared_ptr<Banner> banner(new Banner());
  banner->url = initWithUrl;
  banner->imageView = platform::ImageView::make();
  banner->imageView->isUserInteractionEnabled = true;
  banner->imageView->accessibilityIdentifier = "banner";
  banner->imageView->accessibilityLabel = "Open ad";
  auto tap = std::make_shared<platform::TapGestureRecognizer>(banner, &Banner::onBannerClicked);
  tap->numberOfTapsRequired = 1;
  banner->imageView->addGestureRecognizer(tap);
  return banner;
}

void Banner::show(std::shared_ptr<platform::Image> image) {
  image_ = std::move(image);
  if (!image_) return;
  imageView->image = image_;
  imageView->setNeedsLayout();
  DecodedImages::decoded(shared_from_this());
}

void Banner::setImage(std::shared_ptr<platform::Image> image) {
  show(std::move(image));
  if (!image_) return;
  isImageLoaded = true;
  if (auto delegate = preloadDelegate.lock()) delegate->onPreloadFinished();
}

void Banner::dropDecoded() {
  image_.reset();
  imageView->image.reset();
}

std::size_t Banner::decodedBytes() const {
  if (!image_) return 0;
  return static_cast<std::size_t>(image_->width()) * static_cast<std::size_t>(image_->height()) * 4;
}

void Banner::whenDecoded(std::function<void(bool)> then) {
  if (image_ || path_.empty()) {
    then(image_ != nullptr);
    return;
  }
  platform::Image::contentsOfFileInBackground(
      path_,
      [weak = weak_from_this(), then = std::move(then)](std::shared_ptr<platform::Image> image) {
        auto self = weak.lock();
        if (!self) return;
        if (!self->image_) self->show(std::move(image));
        then(self->image_ != nullptr);
      });
}

void Banner::preloadCompletion(const std::string& path, std::function<void(bool)> decoded) {
  path_ = path;
  // Decoded off the main thread; the banner may be gone by the time the picture is.
  platform::Image::contentsOfFileInBackground(
      path, [weak = weak_from_this(),
             decoded = std::move(decoded)](std::shared_ptr<platform::Image> image) {
        const bool ok = image != nullptr;
        if (auto self = weak.lock()) self->setImage(std::move(image));
        if (decoded) decoded(ok);
      });
}

void Banner::onBannerClicked() {
  if (auto delegate = clickEventDelegate.lock()) delegate->onBannerClicked();
}

}  // namespace zelvora
