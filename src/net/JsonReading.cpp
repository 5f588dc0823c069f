#include "net/JsonReading.h"

#include <cctype>
#include <cmath>

namespace zelvora {
namespace {
const JSON& null() {
  static const JSON value;
  return value;
}
}  // namespace

const JSON& member(const JSON& value, const std::string& key) {
  if (!value.is_object()) return null();
  auto it = value.find(key);
  return it == value.end() ? null() : *it;
}

const JSON& element(const JSON& value, std::size_t index) {
  if (!value.is_array() || index >= value.size()) return null();
  return value[index];
}

bool hasMember(const JSON& value, const std::string& key) {
  return value.is_object() && value.contains(key);
}

std::string stringValue(const JSON& value) {
  switch (value.type()) {
    case JSON::value_t::string:
      return value.get_ref<const std::string&>();
    case JSON::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case JSON::value_t::number_integer:
      return std::to_string(value.get<std::int64_t>());
    case JSON::value_t::number_unsigned:
      return std::to_string(value.get<std::uint64_t>());
    case JSON::value_t::number_float: {
      // Whole numbers read without a fraction, as a platform number's text would.
      const double number = value.get<double>();
      if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 1e15)
        return std::to_string(static_cast<std::int64_t>(number));
      return value.dump();
    }
    default:
      return "";
  }
}

std::optional<std::string> asString(const JSON& value) {
  if (!value.is_string()) return std::nullopt;
  return value.get<std::string>();
}

bool nestingWithin(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::string serialize(const JSON& value) {
  return value.dump(-1, ' ', false, JSON::error_handler_t::replace);
}

bool boolValue(const JSON& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number()) return value.get<double>() != 0;
  if (!value.is_string()) return false;
  std::string text = value.get<std::string>();
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text == "true" || text == "yes" || text == "1";
}

}  // namespace zelvora
