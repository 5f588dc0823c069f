// A second process for the storage tests.
//   storage_child consent <config> <bundle>: records the decisions of ConsentLoop.h in a loop
//     until killed; prints "written" after the first.
//   storage_child host <root> <bundle> <server url>: a host whose folders are under <root>; it
//     initialises against the server and prints each delegate event as a line until killed.
#include <unistd.h>

#include <iostream>
#include <string>

#include "consent/ConsentManager.h"
#include "support/ConsentLoop.h"
#include "support/SdkTest.h"
#include "zelvora/Log.h"

namespace {

using namespace zelvora;

int recordConsentForEver(const std::string& config, const std::string& bundle) {
  platform::HostEnvironment env;
  env.configDirectory = config;
  env.bundleIdentifier = bundle;
  platform::setHostEnvironment(env);
  ConsentManager consent;
  // Consecutive entries differ in state and wording, so each is recorded, then its strings;
  // every third is flushed too (a write of the change mark alone).
  for (unsigned i = static_cast<unsigned>(::getpid());; ++i) {
    const auto entry = test::consentEntry(i);
    consent.set(entry.state, entry.wording, entry.seconds);
    consent.setStrings(entry.strings);
    if (i % 3 == 0) consent.getAndFlush();
    if (i == static_cast<unsigned>(::getpid())) std::cout << "written" << std::endl;
  }
}

class PrintingDelegate : public test::RecordingDelegate {
 public:
  PrintingDelegate() {
    observer = [](const std::string& event) { std::cout << event << std::endl; };
  }
};

int host(const std::string& root, const std::string& bundle, const std::string& url) {
  setLogSink([](std::string_view line) { std::cerr << line << '\n'; });
  platform::HostEnvironment env;
  env.bundleIdentifier = bundle;
  env.configDirectory = root + "/config";
  env.cachesDirectory = root + "/caches";
  env.temporaryDirectory = root + "/tmp";
  platform::headless::HeadlessPlatform platform(env);
  auto delegate = std::make_shared<PrintingDelegate>();
  auto& sdk = ZelController::sharedInstance();
  sdk.setEventDelegate(delegate);
  ServerConfiguration server;
  server.url = url;
  sdk.setServerConfiguration(server);
  sdk.initialize("app");
  platform.runLoop().run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "consent" && argc == 4) return recordConsentForEver(argv[2], argv[3]);
  if (mode == "host" && argc == 5) return host(argv[2], argv[3], argv[4]);
  std::cerr << "usage: storage_child consent <config> <bundle> | host <root> <bundle> <url>\n";
  return 2;
}
