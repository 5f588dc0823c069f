#include "tools/AssetCheck.h"

#include <array>
#include <cstring>
#include <fstream>

#include "tools/WholeFile.h"
#include "zelvora/platform/ui/Image.h"

namespace zelvora {
namespace {

constexpr std::size_t kTsPacket = 188;

bool looksLikeVideo(const std::filesystem::path& path) {
  std::array<unsigned char, 2 * kTsPacket + 1> head{};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head.data()), head.size());
  const auto size = static_cast<std::size_t>(in.gcount());
  const auto at = [&](std::size_t offset, const char* bytes) {
    const std::size_t length = std::strlen(bytes);
    return size >= offset + length && std::memcmp(head.data() + offset, bytes, length) == 0;
  };
  const bool transportStream = size == head.size() && head[0] == 0x47 && head[kTsPacket] == 0x47 &&
                               head[2 * kTsPacket] == 0x47;
  return at(0, "\x1A\x45\xDF\xA3") || at(4, "ftyp") || at(0, "OggS") ||
         (at(0, "RIFF") && at(8, "AVI ")) || transportStream;
}

}  // namespace

std::optional<std::string> assetProblem(const std::filesystem::path& path, AssetKind kind,
                                        bool endMarked) {
  if (kind == AssetKind::image && !platform::Image::sizeOfFile(path)) return "not an image";
  if (kind == AssetKind::video && !looksLikeVideo(path)) return "not a video in a known container";
  if (endMarked) return std::nullopt;
  if (auto problem = wholenessProblem(path, kind))
    return "the server marked no end and the file may be cut short: " + *problem;
  return std::nullopt;
}

}  // namespace zelvora
