#pragma once

#include <filesystem>

namespace zelvora::platform {

std::filesystem::path temporaryDirectory();
std::filesystem::path cachesDirectory();
std::filesystem::path configDirectory();

}  // namespace zelvora::platform
