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
    } else if (!std::isalnum(c) && (c == 0 || std::strchr(kAllowed, c) == nullptr)) {
      return false;
    }
  }
  return true;
}

std::string percentEncoded(std::string_view text, const char* alsoKept) {
  static constexpr const char* kHex = "0123456789ABCDEF";
  std::string encoded;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (std::isalnum(c) || (c != 0 && (std::strchr("-._~", c) || std::strchr(alsoKept, c)))) {
      encoded += byte;
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0xF];
    }
  }
  return encoded;
}

std::string fileUrlFromPath(std::string_view path) {
  return "file://" + percentEncoded(path, "/");
}

bool isFileUrl(std::string_view url) {
  constexpr std::string_view scheme = "file:";
  if (url.size() < scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
  }
  return true;
}

}  // namespace zelvora
