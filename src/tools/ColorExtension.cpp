#include "tools/ColorExtension.h"

#include <cctype>
#include <cstdint>

namespace zelvora {

platform::Color colorFromHex(std::string_view hex, double alpha) {
  std::uint64_t value = 0;
  for (char c : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) break;
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    value = (value << 4) | static_cast<std::uint64_t>(digit);  // wraps like a 64-bit scan
  }
  const auto channel = [&](int shift) {
    return static_cast<double>((value >> shift) & 0xFF) / 255;
  };
  return {channel(16), channel(8), channel(0), alpha};
}

}  // namespace zelvora
