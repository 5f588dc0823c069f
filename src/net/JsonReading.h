#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zelvora/Json.h"

// The two readings of a member that every part of the SDK uses, and lookups that never throw.
namespace zelvora {

/// `value[key]` when `value` is an object holding `key`, otherwise JSON null.
const JSON& member(const JSON& value, const std::string& key);
/// `value[index]` when `value` is an array long enough, otherwise JSON null.
const JSON& element(const JSON& value, std::size_t index);
/// Whether `value` is an object holding `key` (an explicit null counts).
bool hasMember(const JSON& value, const std::string& key);

/// The string value: a string unchanged, a number as its decimal text, a boolean as "true" or
/// "false", anything else as the empty string.
std::string stringValue(const JSON& value);
/// The member taken as a string: its text only when it is a JSON string.
std::optional<std::string> asString(const JSON& value);

/// The boolean value: a boolean unchanged, a number when not zero, a string when it reads
/// "true", "yes" or "1" (any letter case); anything else, or a missing member, is false.
bool boolValue(const JSON& value);

/// Whether the arrays and objects of JSON `text` nest at most `maxDepth` deep (brackets inside
/// strings do not count). Deeper values are refused before parsing: copying or destroying
/// them would recurse that deep.
bool nestingWithin(std::string_view text, int maxDepth);

/// Compact UTF-8 text of `value`; invalid UTF-8 in strings becomes U+FFFD instead of failing.
std::string serialize(const JSON& value);

}  // namespace zelvora
