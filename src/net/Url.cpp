#include "net/Url.h"

#include <cctype>
#include <cstring>

namespace zelvora {

bool isValidUrl(std::string_view text) {
  if (text.empty()) return false;
  static constexpr const char* kAllowed = "-._~:/?#[]@!$&'()*+,;=";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        return false;
      i += 2;
    } else if (!std::isalnum(c) && std::strchr(kAllowed, c) == nullptr) {
      return false;
    }
  }
  return true;
}

}  // namespace zelvora
