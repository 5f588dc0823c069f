#pragma once

#include <string_view>

#include "zelvora/platform/ui/Color.h"

namespace zelvora {

/// The colour of six hexadecimal digits "RRGGBB" (no "#"). The text is read from its start as
/// one hexadecimal number; a text that does not start with a hexadecimal digit gives black.
platform::Color colorFromHex(std::string_view hex, double alpha);

}  // namespace zelvora
