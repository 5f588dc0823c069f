// zelvora-adserver: the reference ad server as a program.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <unistd.h>

#include "zelvora/server/ReferenceServer.h"

namespace {
void usage() {
  std::cerr << "usage: zelvora-adserver --campaigns FILE [--port N] [--host ADDRESS]\n"
               "                        [--assets DIR] [--vast DIR] [--cert PEM --key PEM]\n";
}
}  // namespace

int main(int argc, char** argv) {
  zelvora::server::ServerOptions options;
  std::string campaignsFile;
  options.port = 8080;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      usage();
      return 0;
    }
    if (i + 1 >= argc) {
      usage();
      return 2;
    }
    const std::string value = argv[++i];
    if (flag == "--campaigns") {
      campaignsFile = value;
    } else if (flag == "--port") {
      char* end = nullptr;
      const long port = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) {
        std::cerr << "zelvora-adserver: --port takes a number from 0 to 65535\n";
        return 2;
      }
      options.port = static_cast<int>(port);
    } else if (flag == "--host") {
      options.host = value;
    } else if (flag == "--assets") {
      options.assetDirectory = value;
    } else if (flag == "--vast") {
      options.vastDirectory = value;
    } else if (flag == "--cert") {
      options.certificateFile = value;
    } else if (flag == "--key") {
      options.privateKeyFile = value;
    } else {
      usage();
      return 2;
    }
  }
  if (campaignsFile.empty()) {
    usage();
    return 2;
  }
  try {
    options.campaigns = zelvora::server::ReferenceServer::loadCampaigns(campaignsFile);
    zelvora::server::ReferenceServer server(options);
    // The handlers only interrupt pause(); the server stops on this thread.
    std::signal(SIGINT, [](int) {});
    std::signal(SIGTERM, [](int) {});
    server.start();
    std::cout << "zelvora-adserver: endpoint " << server.endpointUrl() << std::endl;
    ::pause();
    server.stop();
  } catch (const std::exception& error) {
    std::cerr << "zelvora-adserver: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
