#include "tools/WholeFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

#include "zelvora/platform/ui/Image.h"

namespace zelvora {
namespace {

using Bytes = std::vector<unsigned char>;
using Problem = std::optional<std::string>;

/// Reads parts of a file: a container is walked by its headers, never loaded whole.
class Reader {
 public:
  explicit Reader(const std::filesystem::path& path) : in_(path, std::ios::binary) {
    std::error_code error;
    size_ = std::filesystem::file_size(path, error);
    if (error) size_ = 0;
  }
  std::uint64_t size() const { return size_; }
  /// Up to `length` bytes from `offset`; fewer at the end of the file.
  Bytes at(std::uint64_t offset, std::uint64_t length) {
    Bytes bytes(offset < size_ ? std::min(length, size_ - offset) : 0);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in_.gcount()));
    return bytes;
  }
  bool startsWith(std::uint64_t offset, std::string_view text) {
    const Bytes bytes = at(offset, text.size());
    return bytes.size() == text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
  }
  bool endsWith(std::string_view tail) {
    return size_ >= tail.size() && startsWith(size_ - tail.size(), tail);
  }

 private:
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

std::uint64_t bigEndian(const Bytes& bytes, std::size_t offset, std::size_t length) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < length; ++i) value = value << 8 | bytes[offset + i];
  return value;
}

std::uint64_t littleEndian(const Bytes& bytes, std::size_t offset, std::size_t length) {
  std::uint64_t value = 0;
  for (std::size_t i = length; i-- > 0;) value = value << 8 | bytes[offset + i];
  return value;
}

using namespace std::string_view_literals;

Problem imageEnd(Reader& file) {
  if (file.startsWith(0, "\x89PNG")) {
    // A zero-length IEND chunk and its fixed CRC.
    if (file.endsWith("\0\0\0\0IEND\xAE\x42\x60\x82"sv)) return std::nullopt;
    return "the PNG does not end with its IEND chunk";
  }
  if (file.startsWith(0, "\xFF\xD8")) {
    if (file.endsWith("\xFF\xD9")) return std::nullopt;
    return "the JPEG does not end with its end-of-image marker";
  }
  if (file.startsWith(0, "GIF8")) {
    if (file.endsWith("\x3B")) return std::nullopt;
    return "the GIF does not end with its trailer";
  }
  if (file.startsWith(0, "BM")) {
    const Bytes header = file.at(0, 6);
    if (header.size() == 6 && littleEndian(header, 2, 4) == file.size()) return std::nullopt;
    return "the BMP is not the size its header declares";
  }
  return "an image of a kind whose end cannot be checked";
}

/// MP4/QuickTime: top-level boxes, each with its size (32-bit, or 64-bit after a size of 1).
Problem mp4End(Reader& file) {
  bool movie = false;
  for (std::uint64_t at = 0; at < file.size();) {
    const Bytes header = file.at(at, 16);
    if (header.size() < 8) return "the MP4 ends inside a box header";
    const std::string type(header.begin() + 4, header.begin() + 8);
    std::uint64_t size = bigEndian(header, 0, 4);
    std::uint64_t headerSize = 8;
    if (size == 1) {
      if (header.size() < 16) return "the MP4 ends inside a box header";
      size = bigEndian(header, 8, 8);
      headerSize = 16;
    }
    if (size == 0) return "the MP4's " + type + " box runs to an end it does not state";
    if (size < headerSize) return "the MP4's " + type + " box is smaller than its header";
    if (size > file.size() - at) return "the MP4's " + type + " box runs past the end";
    movie = movie || type == "moov";
    at += size;
  }
  if (!movie) return "the MP4 has no moov box";
  return std::nullopt;
}

/// An EBML variable-length integer: its length in bytes (0 when invalid) and its value, with
/// the length marker taken off unless kept (element IDs are written with it).
struct Vint {
  std::size_t length = 0;
  std::uint64_t value = 0;
  bool unknown = false;  // every value bit set: a size left open
};

Vint vint(const Bytes& bytes, std::size_t at, std::size_t maxLength, bool keepMarker) {
  if (at >= bytes.size()) return {};
  const unsigned first = bytes[at];
  std::size_t length = 1;
  while (length <= maxLength && !(first & (0x80u >> (length - 1)))) ++length;
  if (length > maxLength || bytes.size() - at < length) return {};
  std::uint64_t value = keepMarker ? first : first & (0xFFu >> length);
  for (std::size_t i = 1; i < length; ++i) value = value << 8 | bytes[at + i];
  const std::uint64_t allOnes = (std::uint64_t{1} << (7 * length)) - 1;
  return {length, value, !keepMarker && value == allOnes};
}

/// WebM/Matroska: top-level EBML elements (the header, then the Segment).
Problem matroskaEnd(Reader& file) {
  constexpr std::uint64_t kSegment = 0x18538067;
  bool segment = false;
  for (std::uint64_t at = 0; at < file.size();) {
    const Bytes header = file.at(at, 12);
    const Vint id = vint(header, 0, 4, true);
    const Vint size = id.length ? vint(header, id.length, 8, false) : Vint{};
    if (!size.length) return "the WebM ends inside an element header";
    if (size.unknown) return "the WebM has an element of unknown size";
    at += id.length + size.length;
    if (size.value > file.size() - at) return "the WebM's element runs past the end";
    segment = segment || id.value == kSegment;
    at += size.value;
  }
  if (!segment) return "the WebM has no Segment";
  return std::nullopt;
}

/// Ogg: pages one after the other, the last marking the end of its stream.
Problem oggEnd(Reader& file) {
  constexpr std::size_t kHeader = 27;
  constexpr unsigned char kEndOfStream = 0x04;
  bool ended = false;
  for (std::uint64_t at = 0; at < file.size();) {
    const Bytes header = file.at(at, kHeader);
    if (header.size() < kHeader || !file.startsWith(at, "OggS"))
      return "the Ogg ends inside a page header";
    const std::size_t segments = header[26];
    const Bytes lacing = file.at(at + kHeader, segments);
    if (lacing.size() < segments) return "the Ogg ends inside a page header";
    std::uint64_t length = kHeader + segments;
    for (const unsigned char part : lacing) length += part;
    if (length > file.size() - at) return "the Ogg's page runs past the end";
    ended = header[5] & kEndOfStream;
    at += length;
  }
  if (!ended) return "the Ogg's last page does not end its stream";
  return std::nullopt;
}

Problem videoEnd(Reader& file) {
  if (file.startsWith(4, "ftyp")) return mp4End(file);
  if (file.startsWith(0, "\x1A\x45\xDF\xA3")) return matroskaEnd(file);
  if (file.startsWith(0, "OggS")) return oggEnd(file);
  if (file.startsWith(0, "RIFF")) {
    const Bytes header = file.at(0, 8);
    if (header.size() == 8 && littleEndian(header, 4, 4) + 8 == file.size()) return std::nullopt;
    return "the AVI is not the size its RIFF header declares";
  }
  return "a video in a container whose end cannot be checked";
}

}  // namespace

std::optional<std::string> wholenessProblem(const std::filesystem::path& path, AssetKind kind) {
  switch (kind) {
    case AssetKind::image: {
      Reader file(path);
      if (auto problem = imageEnd(file)) return problem;
      if (!platform::Image::decodesCompletely(path)) return "the image does not decode whole";
      return std::nullopt;
    }
    case AssetKind::video: {
      Reader file(path);
      return videoEnd(file);
    }
    case AssetKind::webAsset:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace zelvora
