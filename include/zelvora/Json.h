#pragma once

#include "zelvora/JsonAbi.h"  // nlohmann/json, checked to match the SDK's

namespace zelvora {

/// The dynamic JSON value of every payload, answer and ad description. Objects keep the
/// order of their members as the server sent them. A program that compiles nlohmann/json
/// otherwise than the SDK was built (another version, another JSON_DIAGNOSTICS) does not
/// compile: see zelvora/JsonAbi.h.
using JSON = nlohmann::ordered_json;

}  // namespace zelvora
