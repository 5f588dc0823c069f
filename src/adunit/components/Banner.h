#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/platform/ui/Image.h"
#include "zelvora/platform/ui/ImageView.h"

namespace zelvora {

class BannerClickEventDelegate {
 public:
  virtual ~BannerClickEventDelegate() = default;
  virtual void onBannerClicked() = 0;
};

class BannerPreloadDelegate {
 public:
  virtual ~BannerPreloadDelegate() = default;
  virtual void onPreloadFinished() = 0;
};

/// One image with its image view: decodes the downloaded file and reports taps on it.
class Banner : public std::enable_shared_from_this<Banner> {
 public:
  static std::shared_ptr<Banner> make(const std::string& initWithUrl);

  /// Shows `image`; a present image marks the banner loaded and tells the preload delegate.
  void setImage(std::shared_ptr<platform::Image> image);
  std::shared_ptr<platform::Image> image() const { return image_; }
  /// The file loader's completion: decodes the file at `path` off the main thread, then sets
  /// the image on the main queue (no image if it does not decode), then tells `decoded`.
  void preloadCompletion(const std::string& path, std::function<void(bool decoded)> decoded = {});
  /// Lets go of the decoded picture, to keep within the budget (DecodedImages.h); the file
  /// stays, and `whenDecoded` decodes it again.
  void dropDecoded();
  /// Runs `then` with whether the picture is decoded: at once when it is, else once the file
  /// was decoded again off the main thread (unless the banner is gone by then).
  void whenDecoded(std::function<void(bool decoded)> then);
  /// The memory the decoded picture takes, 0 without one.
  std::size_t decodedBytes() const;
  /// The image view's tap action.
  void onBannerClicked();

  std::weak_ptr<BannerClickEventDelegate> clickEventDelegate;
  std::weak_ptr<BannerPreloadDelegate> preloadDelegate;
  std::string url;
  std::optional<bool> isImageLoaded;
  std::shared_ptr<platform::ImageView> imageView;

 private:
  Banner() = default;
  /// Shows `image` and counts it against the budget.
  void show(std::shared_ptr<platform::Image> image);

  std::shared_ptr<platform::Image> image_;
  /// The downloaded file the picture is decoded from.
  std::string path_;
};

}  // namespace zelvora
