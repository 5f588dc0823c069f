#include "FuzzWorld.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "util/TestingReset.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/headless/HeadlessMedia.h"

namespace zelvora::fuzz {

void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

const fs::path& scratchFolder() {
  static const fs::path folder = [] {
    const fs::path path =
        fs::temp_directory_path() / ("zelvora-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(path);
    std::atexit([] {
      std::error_code error;
      fs::remove_all(scratchFolder(), error);
    });
    return path;
  }();
  return folder;
}

void refuseNetwork() {
  // Held for the process's life: bound, the port is ours; never listening, it refuses.
  static const int refusing = [] {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    check(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
              ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0,
          "a loopback port to refuse transfers");
    const std::string proxy = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      ::setenv(name, proxy.c_str(), 1);
    for (const char* name : {"no_proxy", "NO_PROXY"}) ::setenv(name, "127.0.0.1", 1);
    return fd;
  }();
  (void)refusing;
}

World::World(Media media) {
  static int worlds = 0;
  folder_ = scratchFolder() / ("world-" + std::to_string(++worlds));
  platform::HostEnvironment env;
  env.bundleIdentifier = "com.example.fuzz";
  env.configDirectory = folder_ / "config";
  env.cachesDirectory = folder_ / "caches";
  env.temporaryDirectory = folder_ / "tmp";
  platform_ = std::make_unique<platform::headless::HeadlessPlatform>(
      env, platform::headless::ClockMode::manual);
  driver_ = std::make_unique<platform::headless::TestDriver>(*platform_);
  // The headless engine without its probing: every item is taken as known.
  platform::installPlayerEngineFactory([media](const std::string&) {
    if (media == Media::failing)
      return platform::headless::playerEngineFor(std::nullopt,
                                                 "not a playable video or audio file");
    return platform::headless::playerEngineFor(
        platform::headless::MediaInfo{.duration = mediaSeconds}, {});
  });
  internal::resetProcessState();
  setLogSink([](std::string_view) {});
  ZelController::sharedInstance().setEventDelegate(delegate);
}

World::~World() {
  internal::resetProcessState();
  driver_.reset();
  platform_.reset();
  std::error_code error;
  fs::remove_all(folder_, error);
}

void World::turn(int turns, double step) {
  for (int i = 0; i < turns; ++i) {
    runLoop().pump();
    runLoop().advance(step);
  }
}

}  // namespace zelvora::fuzz
