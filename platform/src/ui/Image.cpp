#include "zelvora/platform/ui/Image.h"

// The decoder is compiled here, with this build's optimisation: the system's shared build of
// it decodes a PNG several times slower. Static, so nothing of it leaves this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <string>
#include <thread>

#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/Mutex.h"

namespace zelvora::platform {
namespace {

std::uint32_t premultipliedPixel(const std::uint8_t* rgba) {
  const std::uint32_t alpha = rgba[3];
  const auto scale = [alpha](std::uint32_t value) { return (value * alpha + 127) / 255; };
  return alpha << 24 | scale(rgba[0]) << 16 | scale(rgba[1]) << 8 | scale(rgba[2]);
}

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
  stbi_uc* rgba = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (rgba == nullptr) return {};
  // Kept only in the renderers' format: one copy of the pixels, converted here, off the main
  // thread.
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = premultipliedPixel(rgba + i * 4);
  stbi_image_free(rgba);
  return {std::make_shared<Image>(width, height, std::move(pixels)), {}};
}

/// The decoder threads, started on first use: decoding a large picture takes long enough to
/// stall the main thread. Two, so that a line of banners decodes about as fast as it arrives.
class Decoder {
 public:
  using Job = std::function<void()>;
  static constexpr int kWorkers = 2;

  static Decoder& shared() {
    static Decoder decoder;
    return decoder;
  }
  ~Decoder() {
    {
      MutexLock lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& worker : workers_) worker.join();
  }
  void add(Job job) ZELVORA_EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      jobs_.push_back(std::move(job));
      if (workers_.size() < kWorkers && jobs_.size() > idle_)
        workers_.emplace_back([this] { run(); });
    }
    wake_.notify_one();
  }

 private:
  void run() ZELVORA_EXCLUDES(mutex_) {
    while (true) {
      Job job;
      {
        MutexLock lock(mutex_);
        ++idle_;
        while (!stopping_ && jobs_.empty()) lock.wait(wake_);
        --idle_;
        if (stopping_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  Mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_ ZELVORA_GUARDED_BY(mutex_);
  /// Workers waiting for a job.
  std::size_t idle_ ZELVORA_GUARDED_BY(mutex_) = 0;
  bool stopping_ ZELVORA_GUARDED_BY(mutex_) = false;
  std::vector<std::thread> workers_ ZELVORA_GUARDED_BY(mutex_);
};

}  // namespace

std::optional<Image::Size> Image::sizeOfFile(const std::filesystem::path& path) {
  int width = 0, height = 0, channels = 0;
  if (stbi_info(path.c_str(), &width, &height, &channels) == 0) return std::nullopt;
  return Size{width, height};
}

bool Image::decodesCompletely(const std::filesystem::path& path) {
  const auto size = sizeOfFile(path);
  if (!size) return false;
  if (std::int64_t{size->width} * size->height > maxPixels) return true;
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 0);
  stbi_image_free(pixels);
  return pixels != nullptr;
}

std::shared_ptr<Image> Image::contentsOfFile(const std::filesystem::path& path) {
  Decoded decoded = decode(path);
  if (!decoded.refusal.empty()) log(LogLevel::warning, decoded.refusal);
  return decoded.image;
}

const std::vector<std::uint8_t>& Image::rgba() const {
  std::call_once(rgbaOnce_, [this] {
    if (!rgba_.empty() || premultiplied_.empty()) return;
    rgba_.resize(premultiplied_.size() * 4);
    std::uint8_t* target = rgba_.data();
    for (const std::uint32_t pixel : premultiplied_) {
      const std::uint32_t alpha = pixel >> 24;
      const auto unscale = [alpha](std::uint32_t value) {
        return static_cast<std::uint8_t>(alpha == 0 ? 0 : (value * 255 + alpha / 2) / alpha);
      };
      *target++ = unscale(pixel >> 16 & 0xff);
      *target++ = unscale(pixel >> 8 & 0xff);
      *target++ = unscale(pixel & 0xff);
      *target++ = static_cast<std::uint8_t>(alpha);
    }
  });
  return rgba_;
}

const std::vector<std::uint32_t>& Image::premultiplied() const {
  std::call_once(premultipliedOnce_, [this] {
    const auto pixels = static_cast<std::size_t>(std::max(width_, 0)) * std::max(height_, 0);
    if (!premultiplied_.empty() || pixels == 0 || rgba_.size() < pixels * 4) return;
    premultiplied_.resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) premultiplied_[i] = premultipliedPixel(&rgba_[i * 4]);
  });
  return premultiplied_;
}

void Image::contentsOfFileInBackground(const std::filesystem::path& path,
                                       std::function<void(std::shared_ptr<Image>)> completion) {
  Decoder::shared().add([path, completion = std::move(completion)]() mutable {
    auto decoded = std::make_shared<Decoded>(decode(path));
    // Dropped when the main queue is gone: the caller's objects went with it.
    postToMainQueue([decoded, completion = std::move(completion)] {
      if (!decoded->refusal.empty()) log(LogLevel::warning, decoded->refusal);
      completion(std::move(decoded->image));
    });
  });
}

}  // namespace zelvora::platform
