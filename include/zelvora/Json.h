#pragma once

#include <nlohmann/json.hpp>

namespace zelvora {

/// The dynamic JSON value of every payload, answer and ad description. Objects keep the
/// order of their members as the server sent them.
using JSON = nlohmann::ordered_json;

}  // namespace zelvora
