#include "zelvora/platform/HostEnvironment.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "zelvora/Log.h"

namespace zelvora::platform {
namespace {

constexpr const char* kZeroUuid = "00000000-0000-0000-0000-000000000000";

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string homeDirectory() {
  return envOr("HOME", "/tmp");
}

std::string osReleaseVersion() {
  std::ifstream file("/etc/os-release");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("VERSION_ID=", 0) != 0) continue;
    std::string value = line.substr(11);
    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
    if (!value.empty()) return value;
  }
  return "0";
}

/// Upper-case canonical form of `text` if it is a UUID, otherwise empty.
std::string canonicalUuid(const std::string& text) {
  if (text.size() != 36) return {};
  std::string out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? out[i] != '-' : !std::isxdigit(static_cast<unsigned char>(out[i]))) return {};
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
  }
  return out;
}

HostEnvironment withDefaults(HostEnvironment env) {
  if (env.systemVersion.empty()) env.systemVersion = osReleaseVersion();
  if (env.advertisingIdentifier.empty()) {
    env.advertisingIdentifier = kZeroUuid;
  } else if (auto canonical = canonicalUuid(env.advertisingIdentifier); !canonical.empty()) {
    env.advertisingIdentifier = canonical;
  } else {
    log(LogLevel::warning, "advertising identifier is not a UUID; using the zero UUID");
    env.advertisingIdentifier = kZeroUuid;
  }
  if (env.configDirectory.empty())
    env.configDirectory = envOr("XDG_CONFIG_HOME", homeDirectory() + "/.config");
  if (env.cachesDirectory.empty())
    env.cachesDirectory = envOr("XDG_CACHE_HOME", homeDirectory() + "/.cache");
  if (env.temporaryDirectory.empty()) env.temporaryDirectory = envOr("TMPDIR", "/tmp");
  if (!(env.screenWidth > 0 && env.screenHeight > 0)) {
    env.screenWidth = 414;
    env.screenHeight = 896;
  }
  return env;
}

HostEnvironment& current() {
  static HostEnvironment environment = withDefaults({});
  return environment;
}

}  // namespace

void setHostEnvironment(HostEnvironment env) {
  current() = withDefaults(std::move(env));
}

const HostEnvironment& hostEnvironment() {
  return current();
}

}  // namespace zelvora::platform
