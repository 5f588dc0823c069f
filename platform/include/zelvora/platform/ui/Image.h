#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace zelvora::platform {

/// A decoded bitmap: RGBA, 8 bits a channel, rows top to bottom. One pixel is one point.
class Image {
 public:
  /// Decodes PNG, JPEG, GIF, BMP and the other formats stb_image reads; none when the file
  /// is missing or is not an image.
  static std::shared_ptr<Image> contentsOfFile(const std::filesystem::path& path);
  Image(int width, int height, std::vector<std::uint8_t> rgba)
      : width_(width), height_(height), rgba_(std::move(rgba)) {}

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<std::uint8_t>& rgba() const { return rgba_; }

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> rgba_;
};

}  // namespace zelvora::platform
