#include "zelvora/platform/ui/Image.h"

#include <stb_image.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora::platform {
namespace {

/// A decoded image, or why none: the console line to write (on the main thread, where the
/// log's sink lives), empty when the file simply is no image.
struct Decoded {
  std::shared_ptr<Image> image;
  std::string refusal;
};

Decoded decode(const std::filesystem::path& path) {
  const auto size = Image::sizeOfFile(path);
  if (!size) return {};
  if (std::int64_t{size->width} * size->height > Image::maxPixels) {
    return {nullptr, "image refused: " + std::to_string(size->width) + "x" +
                         std::to_string(size->height) +
                         " pixels, more than the 4096x4096 allowed: " + path.string()};
  }
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (pixels == nullptr) return {};
  std::vector<std::uint8_t> rgba(pixels, pixels + static_cast<std::size_t>(width) * height * 4);
  stbi_image_free(pixels);
  return {std::make_shared<Image>(width, height, std::move(rgba)), {}};
}

/// One worker thread for the process, started on first use: decoding a large picture takes
/// long enough to stall the main thread.
class Decoder {
 public:
  using Job = std::function<void()>;

  static Decoder& shared() {
    static Decoder decoder;
    return decoder;
  }
  ~Decoder() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
  }
  void add(Job job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
      if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
  }

 private:
  void run() {
    while (true) {
      Job job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace

std::optional<Image::Size> Image::sizeOfFile(const std::filesystem::path& path) {
  int width = 0, height = 0, channels = 0;
  if (stbi_info(path.c_str(), &width, &height, &channels) == 0) return std::nullopt;
  return Size{width, height};
}

std::shared_ptr<Image> Image::contentsOfFile(const std::filesystem::path& path) {
  Decoded decoded = decode(path);
  if (!decoded.refusal.empty()) log(LogLevel::warning, decoded.refusal);
  return decoded.image;
}

const std::vector<std::uint32_t>& Image::premultiplied() const {
  std::call_once(premultipliedOnce_, [this] {
    const auto pixels = static_cast<std::size_t>(std::max(width_, 0)) * std::max(height_, 0);
    if (pixels == 0 || rgba_.size() < pixels * 4) return;
    premultiplied_.resize(pixels);
    const std::uint8_t* source = rgba_.data();
    for (std::size_t i = 0; i < pixels; ++i, source += 4) {
      const std::uint32_t alpha = source[3];
      auto scale = [alpha](std::uint32_t value) { return (value * alpha + 127) / 255; };
      premultiplied_[i] =
          alpha << 24 | scale(source[0]) << 16 | scale(source[1]) << 8 | scale(source[2]);
    }
  });
  return premultiplied_;
}

void Image::contentsOfFileInBackground(const std::filesystem::path& path,
                                       std::function<void(std::shared_ptr<Image>)> completion) {
  Decoder::shared().add([path, completion = std::move(completion)]() mutable {
    auto decoded = std::make_shared<Decoded>(decode(path));
    // Drawn on the main thread: converted here, off it.
    if (decoded->image) decoded->image->premultiplied();
    // Dropped when the main queue is gone: the caller's objects went with it.
    postToMainQueue([decoded, completion = std::move(completion)] {
      if (!decoded->refusal.empty()) log(LogLevel::warning, decoded->refusal);
      completion(std::move(decoded->image));
    });
  });
}

}  // namespace zelvora::platform
