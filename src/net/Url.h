#pragma once

#include <string_view>

namespace zelvora {

/// Whether `text` parses as a URL reference: not empty, only characters a URL may hold
/// (RFC 3986, with percent escapes of two hexadecimal digits).
bool isValidUrl(std::string_view text);

}  // namespace zelvora
