#include "adunit/AdFormat.h"

#include <array>
#include <utility>

namespace zelvora {
namespace {
constexpr std::array<std::pair<AdFormat, std::string_view>, 6> kFormats{{
    {AdFormat::video, "video"},
    {AdFormat::videoVast, "videoVast"},
    {AdFormat::banner, "banner"},
    {AdFormat::html, "html"},
    {AdFormat::jsTag, "jsTag"},
    {AdFormat::mraidTag, "mraidTag"},
}};
}  // namespace

std::optional<AdFormat> adFormatFromString(std::string_view raw) {
  for (const auto& [format, text] : kFormats) {
    if (text == raw) return format;
  }
  return std::nullopt;
}

std::string_view rawValue(AdFormat format) {
  for (const auto& [candidate, text] : kFormats) {
    if (candidate == format) return text;
  }
  return "";
}

}  // namespace zelvora
