#pragma once

#include <utility>
#include <vector>

namespace zelvora::platform {

/// How deep the JSON values the platform takes in (a page's message, a preferences file) may
/// nest. Copying, destroying or writing out a value recurses as deep as it nests, and writing
/// it indented costs the square of its depth, so deeper values are refused where they come in.
constexpr int kMaxJsonDepth = 512;

/// Whether the arrays and objects of `value` nest at most `maxDepth` deep, found without
/// recursing.
template <class Json>
bool nestingWithin(const Json& value, int maxDepth = kMaxJsonDepth) {
  std::vector<std::pair<const Json*, int>> pending{{&value, 1}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (!node->is_structured()) continue;
    if (depth > maxDepth) return false;
    for (const auto& child : *node) pending.emplace_back(&child, depth + 1);
  }
  return true;
}

}  // namespace zelvora::platform
