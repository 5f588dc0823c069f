#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// A bitmap, 8 bits a channel, rows top to bottom. One pixel is one point.
class ZELVORA_API Image {
 public:
  /// The most pixels a file may declare to be decoded (4096x4096, 64 MB decoded): a few
  /// hundred bytes of PNG can declare a picture whose pixels take gigabytes.
  static constexpr std::int64_t maxPixels = std::int64_t{4096} * 4096;

  struct Size {
    int width;
    int height;
  };
  /// The size a file declares, read from its header without decoding; none when the file is
  /// missing or is not an image. Safe on any thread.
  static std::optional<Size> sizeOfFile(const std::filesystem::path& path);

  /// Whether the file decodes to its last pixel. The decoder fails on most cut PNG, JPEG and
  /// GIF files, but fills a cut BMP or TGA in and reads no PNG checksum: whether a file is
  /// whole needs its end checked too. A file
  /// declaring more than `maxPixels` is not decoded and counts as decoding (whoever shows it
  /// refuses it). Safe on any thread; writes no console line.
  static bool decodesCompletely(const std::filesystem::path& path);

  /// Decodes PNG, JPEG, GIF, BMP and the other formats stb_image reads; none when the file
  /// is missing or is not an image, and none, with one console line, when it declares more
  /// than `maxPixels`.
  static std::shared_ptr<Image> contentsOfFile(const std::filesystem::path& path);
  /// As `contentsOfFile`, decoding on one of the process's decoder threads (two at most, so
  /// completions may come in another order than the calls); `completion` runs on the main
  /// queue. Call it on the main thread.
  static void contentsOfFileInBackground(const std::filesystem::path& path,
                                         std::function<void(std::shared_ptr<Image>)> completion);

  /// A bitmap of RGBA bytes; its premultiplied pixels are made on first use.
  Image(int width, int height, std::vector<std::uint8_t> rgba)
      : width_(width), height_(height), rgba_(std::move(rgba)) {}
  /// A bitmap already in the renderers' format (see `premultiplied`), as decoding makes it:
  /// the pixels are kept once, and RGBA bytes only made if asked for.
  Image(int width, int height, std::vector<std::uint32_t> premultiplied)
      : width_(width), height_(height), premultiplied_(std::move(premultiplied)) {}
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  /// RGBA bytes, rows top to bottom. For a bitmap made from premultiplied pixels they are made
  /// once, on first use; the colours of translucent pixels are then rounded.
  const std::vector<std::uint8_t>& rgba() const;

  /// The pixels as renderers draw them: one native-endian 32-bit word a pixel, alpha in the
  /// top byte and the colours premultiplied by it, rows of `width` pixels; empty when the
  /// bitmap is smaller than its size says. Made once, on first use, for a bitmap made from
  /// RGBA bytes, so drawing never converts the bitmap again.
  const std::vector<std::uint32_t>& premultiplied() const;

 private:
  int width_;
  int height_;
  mutable std::once_flag rgbaOnce_;
  mutable std::vector<std::uint8_t> rgba_;
  mutable std::once_flag premultipliedOnce_;
  mutable std::vector<std::uint32_t> premultiplied_;
};

}  // namespace zelvora::platform
