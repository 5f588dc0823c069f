// A host linked against libzelvora.so alone (no archive): the delegate it derives from the
// SDK's classes, the log sink it installs and the SDK's singletons all cross the library's
// boundary.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "zelvora/Log.h"
#include "zelvora/Version.h"
#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"

namespace {

class Events : public zelvora::ZelExtendedEventDelegate {
 public:
  void onInit(const std::vector<std::string>& ids) override {
    seen.push_back("onInit:" + std::to_string(ids.size()));
  }
  void onInitError(const std::string&) override { seen.push_back("onInitError"); }
  // The SDK finds this extension with a dynamic_cast inside the library.
  void onInitErrorWithReason(zelvora::ZelError reason, const std::string&) override {
    seen.push_back("reason:" + std::to_string(static_cast<int>(reason)));
  }
  std::vector<std::string> seen;
};

// A loopback port nothing listens on: bound, then closed.
int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST(SharedLibraryHost, InitialisesThroughTheLibrary) {
  EXPECT_STREQ(zelvora::sdkVersion(), ZELVORA_VERSION_STRING);

  const auto home =
      std::filesystem::temp_directory_path() / ("zelvora-shared-host-" + std::to_string(getpid()));
  std::filesystem::create_directories(home);
  zelvora::platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.example.shared-host";
  environment.configDirectory = environment.cachesDirectory = environment.temporaryDirectory =
      home.string();
  zelvora::platform::headless::HeadlessPlatform platform(environment);

  std::vector<std::string> lines;
  zelvora::setLogSink([&](std::string_view line) { lines.emplace_back(line); });
  auto& sdk = zelvora::ZelController::sharedInstance();
  zelvora::ServerConfiguration server;
  server.url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/srv";
  sdk.setServerConfiguration(server);
  const auto events = std::make_shared<Events>();
  sdk.setEventDelegate(events);
  sdk.initialize("zelvora-demo");

  EXPECT_TRUE(platform.mainQueue().runUntil([&] { return events->seen.size() == 3; }, 30));
  EXPECT_EQ(events->seen, (std::vector<std::string>{"onInitError", "reason:100", "onInit:0"}));
  EXPECT_FALSE(sdk.isInitialized());
  EXPECT_FALSE(lines.empty());
  zelvora::setLogSink({});
  std::filesystem::remove_all(home);
}

}  // namespace
