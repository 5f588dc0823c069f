#include "vast/MediaSelection.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <string_view>
#include <tuple>

namespace zelvora::vast {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view lowercasePrefix) {
  if (text.size() < lowercasePrefix.size()) return false;
  for (std::size_t i = 0; i < lowercasePrefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lowercasePrefix[i]) return false;
  return true;
}

bool qualifies(const MediaFile& file, const MediaChoice& choice) {
  return (startsWithNoCase(file.url, "http://") || startsWithNoCase(file.url, "https://")) &&
         file.apiFramework.empty() && choice.canPlay && choice.canPlay(file.type);
}

int kbps(const MediaFile& file) {
  if (file.bitrate > 0) return file.bitrate;
  return file.minBitrate > 0 ? file.minBitrate : file.maxBitrate;
}

// Width over height; none (infinitely far from any shape) without both.
double shape(int width, int height) {
  if (width <= 0 || height <= 0) return std::numeric_limits<double>::infinity();
  return static_cast<double>(width) / height;
}

// Smaller is better; the fields in the order they decide.
using Rank = std::tuple<bool, bool, double, double, int, std::size_t>;

Rank rankOf(const MediaFile& file, std::size_t index, const MediaChoice& choice) {
  const double area = static_cast<double>(file.width) * file.height;
  const double screenArea = static_cast<double>(choice.screenWidth) * choice.screenHeight;
  const double shapeDistance =
      std::abs(shape(file.width, file.height) - shape(choice.screenWidth, choice.screenHeight));
  return {choice.maxBitrateKbps > 0 && kbps(file) > choice.maxBitrateKbps,
          file.delivery == "streaming",
          std::abs(area - screenArea),
          std::isnan(shapeDistance) ? std::numeric_limits<double>::infinity() : shapeDistance,
          kbps(file),
          index};
}

}  // namespace

std::optional<MediaFile> chooseMediaFile(const std::vector<MediaFile>& files,
                                         const MediaChoice& choice) {
  std::optional<Rank> best;
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!qualifies(files[i], choice)) continue;
    const auto rank = rankOf(files[i], i, choice);
    if (!best || rank < *best) {
      best = rank;
      chosen = i;
    }
  }
  if (!best) return std::nullopt;
  return files[chosen];
}

}  // namespace zelvora::vast
