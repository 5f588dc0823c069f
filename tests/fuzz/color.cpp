// A colour's hexadecimal text, as the colour constructor reads it; the first byte is the alpha.
#include "FuzzWorld.h"
#include "tools/ColorExtension.h"

using namespace zelvora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const double alpha = data[0] / 255.0;
  const auto hex = fuzz::text(data + 1, size - 1);
  const auto color = colorFromHex(hex, alpha);
  for (const double channel : {color.red, color.green, color.blue})
    fuzz::check(channel >= 0 && channel <= 1, "channels between 0 and 1");
  fuzz::check(color.alpha == alpha, "the alpha as given");
  // Six digits read as written.
  if (hex.size() == 6 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
    const unsigned long value = std::stoul(hex, nullptr, 16);
    fuzz::check(color.red == static_cast<double>((value >> 16) & 0xFF) / 255 &&
                    color.blue == static_cast<double>(value & 0xFF) / 255,
                "six digits read as RRGGBB");
  }
  return 0;
}
