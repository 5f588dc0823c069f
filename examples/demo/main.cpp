// zelvora-demo: a host application in miniature, touring every placement of the server's
// answer as a scripted user. It starts the reference ad server on loopback (unless --server
// names another), initialises the SDK against it, shows each placement's ad in turn and deals
// with it as its format invites: on the headless backend, playing the pages' side too since it
// runs no JavaScript, or with --desktop in a real window where WebKit runs the pages. It ends
// with a summary: per placement, the delegate's events, the beacons the server received and the
// result. The exit code is 0 when every placement came out as its ad implies. --interactive
// leaves the window to a person instead.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <stdlib.h>

#include "AdCatalog.h"
#include "Console.h"
#include "DelegateLog.h"
#include "Desktop.h"
#include "HeadlessStage.h"
#include "ScriptedUser.h"
#include "ServerRecords.h"
#include "Tour.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/server/ReferenceServer.h"

namespace {

using demo::Console;

struct Options {
  std::string serverUrl;
  std::string appId = "zelvora-demo";
  std::string campaignsFile = ZELVORA_SERVER_DATA_DIR "/campaigns/sample.json";
  std::filesystem::path snapshots;
  std::filesystem::path summaryJson;
  std::string placement;
  /// The desktop window's size in points, when asked for.
  std::optional<zelvora::platform::Size> window;
  bool list = false;
  bool quiet = false;
  bool desktop = false;
  bool interactive = false;
  bool help = false;
};

constexpr const char* usage =
    "usage: zelvora-demo [--list | --placement ID] [--desktop | --interactive] [--quiet]\n"
    "                    [--snapshots DIR] [--summary-json FILE] [--server URL] [--app-id ID]\n"
    "                    [--campaigns FILE] [--window WxH]\n"
    "  --list             initialise, list the placements of the answer and exit\n"
    "  --placement ID     tour only that placement\n"
    "  --desktop          tour in a desktop window on the real clock; URLs are only recorded\n"
    "  --interactive      a desktop window listing the placements for a person to try; URLs\n"
    "                     open for real; closing the window ends the program\n"
    "  --quiet            print the summary only\n"
    "  --snapshots DIR    write PNG pictures of the screen along the tour\n"
    "  --summary-json F   write the summary as JSON\n"
    "  --server URL       use this getPlacements endpoint instead of starting the reference\n"
    "                     server; beacons are read from its GET /debug/beacons if it has one\n"
    "  --app-id ID        the app to initialise (default zelvora-demo)\n"
    "  --campaigns FILE   what the reference server serves (default the sample campaigns)\n"
    "  --window WxH       the desktop window's size in points (default a phone's)\n";

std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool hasValue = i + 1 < argc;
    if (flag == "--help" || flag == "-h") {
      options.help = true;
    } else if (flag == "--list") {
      options.list = true;
    } else if (flag == "--quiet") {
      options.quiet = true;
    } else if (flag == "--desktop") {
      options.desktop = true;
    } else if (flag == "--interactive") {
      options.interactive = true;
    } else if (hasValue && flag == "--server") {
      options.serverUrl = argv[++i];
    } else if (hasValue && flag == "--app-id") {
      options.appId = argv[++i];
    } else if (hasValue && flag == "--campaigns") {
      options.campaignsFile = argv[++i];
    } else if (hasValue && flag == "--snapshots") {
      options.snapshots = argv[++i];
    } else if (hasValue && flag == "--summary-json") {
      options.summaryJson = argv[++i];
    } else if (hasValue && flag == "--placement") {
      options.placement = argv[++i];
    } else if (hasValue && flag == "--window") {
      int width = 0, height = 0;
      char end = 0;
      if (std::sscanf(argv[++i], "%dx%d%c", &width, &height, &end) != 2 || width <= 0 ||
          height <= 0) {
        std::cerr << usage;
        return std::nullopt;
      }
      options.window = zelvora::platform::Size{double(width), double(height)};
    } else {
      std::cerr << usage;
      return std::nullopt;
    }
  }
  return options;
}

/// The SDK's folders for this run: each run's server has a new address, so the files it
/// caches by address would pile up in the user's own caches.
class PrivateFolders {
 public:
  PrivateFolders() {
    std::string name = (std::filesystem::temp_directory_path() / "zelvora-demo-XXXXXX").string();
    if (::mkdtemp(name.data())) path_ = name;
  }
  ~PrivateFolders() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  PrivateFolders(const PrivateFolders&) = delete;
  PrivateFolders& operator=(const PrivateFolders&) = delete;

  zelvora::platform::HostEnvironment environment() const {
    zelvora::platform::HostEnvironment environment;
    if (path_.empty()) return environment;  // the defaults, then
    environment.configDirectory = path_ / "config";
    environment.cachesDirectory = path_ / "caches";
    environment.temporaryDirectory = path_ / "tmp";
    return environment;
  }

 private:
  std::filesystem::path path_;
};

std::unique_ptr<demo::Stage> makeStage(const Options& options,
                                       zelvora::platform::HostEnvironment environment) {
  if (options.desktop || options.interactive)
    return demo::makeDesktopStage(std::move(environment), options.interactive, options.window);
  return std::make_unique<demo::HeadlessStage>(std::move(environment));
}

std::unique_ptr<zelvora::server::ReferenceServer> startServer(const zelvora::JSON& campaigns) {
  zelvora::server::ServerOptions options;
  options.campaigns = campaigns;
  options.assetDirectory = ZELVORA_SERVER_DATA_DIR "/assets";
  options.vastDirectory = ZELVORA_SERVER_DATA_DIR "/vast";
  auto server = std::make_unique<zelvora::server::ReferenceServer>(options);
  server->start();
  return server;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseArguments(argc, argv);
  if (!options) return 2;
  if (options->help) {
    std::cout << usage;
    return 0;
  }
  if ((options->desktop || options->interactive) && !demo::hasDesktop()) {
    std::cerr << "zelvora-demo: built without the desktop backend (configure with "
                 "-DZELVORA_PLATFORM=gtk)\n";
    return 2;
  }
  Console::quiet = options->quiet;
  // Never destroyed: the SDK may log from its own thread until the process ends.
  static auto* const trackers = new demo::TrackerLog();
  zelvora::setLogSink([quiet = options->quiet](std::string_view line) {
    trackers->note(line);
    if (!quiet) std::cout << "[sdk] " << line << std::endl;
  });

  const PrivateFolders folders;
  std::unique_ptr<demo::Stage> stage;
  try {
    stage = makeStage(*options, folders.environment());
  } catch (const std::runtime_error& error) {
    std::cerr << "zelvora-demo: cannot open the desktop window: " << error.what() << "\n";
    return 1;
  }

  std::unique_ptr<zelvora::server::ReferenceServer> server;
  std::unique_ptr<demo::ServerRecords> records;
  demo::AdCatalog catalog;
  std::string endpoint = options->serverUrl;
  if (endpoint.empty()) {
    try {
      const auto campaigns =
          zelvora::server::ReferenceServer::loadCampaigns(options->campaignsFile);
      catalog = demo::AdCatalog::fromCampaigns(campaigns, options->appId);
      server = startServer(campaigns);
    } catch (const std::exception& error) {
      std::cerr << "zelvora-demo: " << error.what() << "\n";
      return 1;
    }
    endpoint = server->endpointUrl();
    records = std::make_unique<demo::ServerRecords>(*server);
    Console::say("reference server at " + server->baseUrl());
  } else {
    records = std::make_unique<demo::ServerRecords>(endpoint);
  }

  auto& sdk = zelvora::ZelController::sharedInstance();
  auto delegate = std::make_shared<demo::DelegateLog>();
  sdk.setEventDelegate(delegate);
  zelvora::ServerConfiguration configuration;
  configuration.url = endpoint;
  sdk.setServerConfiguration(configuration);
  zelvora::VastSettings vast;
  vast.enabled = true;
  sdk.setVastSettings(vast);
  Console::say("SDK " + sdk.sdkVersion() + ", initialising app " + options->appId + " against " +
               endpoint);
  sdk.initialize(options->appId);
  // The HTTP client gives up after its own time-out, so this always ends.
  stage->backend().mainQueue().runUntil([&] { return delegate->initDone; }, 120);
  if (!delegate->initDone || delegate->initError) {
    std::cerr << "zelvora-demo: initialisation failed"
              << (delegate->initError ? ": " + *delegate->initError : std::string()) << "\n";
    return 1;
  }
  if (!server) {
    if (auto placements = records->answeredPlacements(options->appId)) {
      catalog = demo::AdCatalog(*placements);
    } else {
      Console::say("the server does not show its answer: ad formats are learnt on screen");
    }
  }

  auto placements = demo::placementsOfAnswer(catalog, *delegate);
  if (options->list) {
    demo::printPlacements(std::cout, placements, catalog, *delegate);
    return 0;
  }
  if (!options->placement.empty()) {
    if (std::find(placements.begin(), placements.end(), options->placement) == placements.end()) {
      std::cerr << "zelvora-demo: no placement " << options->placement << " in the answer\n";
      return 2;
    }
    placements = {options->placement};
  }

  if (options->interactive) {
    demo::runInteractive(*stage, placements, catalog, *delegate, *records, std::cout);
    return 0;
  }
  demo::ScriptedUser user(*stage, *delegate, options->snapshots);
  const auto report =
      demo::runTour(placements, user, *delegate, catalog, *records, *stage, *trackers);
  if (server) {
    for (const auto& request : server->placementsRequests())
      Console::say("server: getPlacements from app " + request.body["data"].value("app", "") +
                   ", signature " + (request.signatureValid ? "valid" : "INVALID"));
  }
  Console::print("\n");
  report.print(std::cout);
  if (!options->summaryJson.empty()) {
    std::ofstream out(options->summaryJson);
    out << report.toJson().dump(2) << "\n";
    if (!out) {
      std::cerr << "zelvora-demo: cannot write " << options->summaryJson.string() << "\n";
      return 1;
    }
  }
  return report.allAsExpected() ? 0 : 1;
}
