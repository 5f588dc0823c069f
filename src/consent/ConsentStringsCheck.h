#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "zelvora/ConsentStrings.h"

namespace zelvora {

/// The most a TC or GPP string may take: real ones take a few hundred bytes.
constexpr std::size_t kMaxConsentStringBytes = 8192;
/// The most GPP section ids: the framework defines a few dozen sections.
constexpr std::size_t kMaxGppSectionIds = 64;

/// Why `strings` cannot be kept, as a phrase for a console line; none when they can. The check
/// is of shape only: a TC or GPP string is base64 text with its separators, a US privacy string
/// "1" then Y, N or - three times, section ids positive and only beside a GPP string.
std::optional<std::string> whyInvalid(const ConsentStrings& strings);

}  // namespace zelvora
