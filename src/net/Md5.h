#pragma once

#include <string>
#include <string_view>

namespace zelvora {

/// MD5 digest of `bytes` as 32 lower-case hexadecimal characters.
std::string md5Hex(std::string_view bytes);

}  // namespace zelvora
