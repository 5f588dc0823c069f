#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelvora {

/// The ad formats, named by an ad's "ad"/"subtype".
enum class AdFormat { video, videoVast, banner, html, jsTag, mraidTag };

/// Exact, case-sensitive match against the raw values; none for anything else.
std::optional<AdFormat> adFormatFromString(std::string_view rawValue);
std::string_view rawValue(AdFormat format);

}  // namespace zelvora
