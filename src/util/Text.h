#pragma once

#include <string_view>

namespace zelvora {

/// `text` without the white space (spaces, tabs, line ends) at either end.
inline std::string_view trimmed(std::string_view text) {
  constexpr std::string_view space = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace zelvora
