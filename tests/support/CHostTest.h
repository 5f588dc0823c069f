#pragma once

#include <string>

#include "support/SdkTest.h"
#include "util/TestingReset.h"
#include "zelvora/server/ReferenceServer.h"
#include "zelvora/zelvora.h"

namespace zelvora::test {

/// A C host's world: the reference server with the test's campaigns and files, and an
/// environment whose folders lie in a private folder. The platform the test makes goes at the
/// end, after the callbacks (so none reaches a recorder of the test's that is gone).
class CHostTest : public ::testing::Test {
 protected:
  CHostTest(JSON campaigns, const fs::path& assets) {
    server::ServerOptions options;
    options.campaigns = std::move(campaigns);
    options.assetDirectory = assets;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    for (const auto& [name, path] :
         {std::pair{"config", &config}, std::pair{"caches", &caches}, std::pair{"tmp", &temporary}})
      *path = (folder.path() / name).string();
    environment.config_directory = config.c_str();
    environment.caches_directory = caches.c_str();
    environment.temporary_directory = temporary.c_str();
  }
  ~CHostTest() override {
    zelvora_set_callbacks(nullptr, nullptr);
    if (platform) {
      internal::resetProcessState();
      zelvora_platform_destroy(platform);
    }
    server->stop();
  }

  TemporaryFolder folder;
  std::string config, caches, temporary;
  zelvora_environment environment{};
  std::unique_ptr<server::ReferenceServer> server;
  zelvora_platform* platform = nullptr;
};

}  // namespace zelvora::test
