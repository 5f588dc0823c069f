// zelvora-bench-init: how long the SDK takes from ZelController::initialize to the delegate's
// onInit against the reference server on loopback, next to the least any client must do to
// get the same answer (one libcurl easy POST of the same signed body, the answer parsed into
// the same JSON type), and how long the main thread is held while the SDK takes in a large
// answer.
//
// A successful initialisation happens once per process, so every round runs in a fresh child
// process: this program re-executes itself with a hidden argument, the child times its own
// work and prints one line of "key=value" fields on standard output, and the parent collects
// them. The reference servers run in the parent, on 127.0.0.1.
//
// It measures and prints; it never judges a time.
#include <curl/curl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Rounds.h"
#include "zelvora/Json.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/server/ReferenceServer.h"

namespace {

namespace fs = std::filesystem;
using zelvora::JSON;
using zelvora::bench::Fields;
using zelvora::bench::median;
using zelvora::bench::runChildRound;
using zelvora::bench::RunFolder;
using Clock = std::chrono::steady_clock;

constexpr const char* kAppId = "bench-app";
constexpr const char* kChildSdk = "--child-sdk";
constexpr const char* kChildBare = "--child-bare";
constexpr int kPlacements = 50;
/// Answers of these sizes show how long the main thread is held while they are taken in.
constexpr int kLargeAnswers[] = {1000, 2000, 10000, 50000};
constexpr int kWarmUpRounds = 2;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// ---------------------------------------------------------------------------------------------
// The answers: enabled placements of one or two HTML interstitials each, with their beacons;
// the answers over 1000 placements hold one short ad each, to stay within the answer's size
// limit (50,000 placements: about 10 MB).

std::string markup(int placement, int ad) {
  const std::string tag = std::to_string(placement) + "-" + std::to_string(ad);
  return "<!DOCTYPE html><html><head><meta name=\"viewport\" content=\"width=device-width\">"
         "</head><body><a href=\"{server}/t/click?ad=html-" +
         tag + "\"><img src=\"{server}/assets/creative-" + tag + ".png\"></a></body></html>";
}

JSON htmlAd(int placement, int ad, bool compact) {
  const std::string id = "html-" + std::to_string(placement) + "-" + std::to_string(ad);
  JSON data = JSON::object();
  data["markup"] = compact ? "<p>" + id + "</p>" : markup(placement, ad);
  data["imp"] = "{server}/t/imp?ad=" + id;
  if (!compact) data["adCloseBeaconUrl"] = "{server}/t/close?ad=" + id + "&length={length}";
  JSON object = JSON::object();
  object["adId"] = id;
  if (!compact)
    object["offering"] = JSON{{"campaign", "campaign-" + std::to_string(placement % 7)}};
  object["ad"] = JSON{{"type", "interstitial"}, {"subtype", "html"}, {"data", std::move(data)}};
  return object;
}

JSON campaignsWith(int placementCount) {
  JSON placements = JSON::object();
  for (int i = 0; i < placementCount; ++i) {
    JSON ads = JSON::array();
    const bool compact = placementCount > 1000;
    const int adCount = i % 10 == 0 && !compact ? 2 : 1;
    for (int ad = 1; ad <= adCount; ++ad) ads.push_back(htmlAd(i, ad, compact));
    JSON placement = JSON::object();
    if (!compact) placement["name"] = "Interstitial " + std::to_string(i);
    placement["status"] = "enabled";
    placement["ads"] = std::move(ads);
    placements["placement-" + std::to_string(i)] = std::move(placement);
  }
  return JSON{{"apps", {{kAppId, {{"placements", std::move(placements)}}}}}};
}

// ---------------------------------------------------------------------------------------------
// Child rounds.

class TimingDelegate : public zelvora::ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override {
    at = Clock::now();
    placements = placementIds.size();
    done = true;
  }
  void onInitError(const std::string& message) override { error = message; }

  Clock::time_point at;
  std::size_t placements = 0;
  bool done = false;
  std::optional<std::string> error;
};

// One initialisation, timed from the call to onInit. Everything a host does once before it
// (the platform, the delegate, the server configuration) happens before the clock starts.
int runSdkChild(const std::string& url, const fs::path& parentFolder) {
  zelvora::setLogSink([](std::string_view) {});
  const fs::path folder = parentFolder / ("sdk-" + std::to_string(::getpid()));

  zelvora::platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.zelvora.bench";
  environment.configDirectory = folder / "config";
  environment.cachesDirectory = folder / "caches";
  environment.temporaryDirectory = folder / "tmp";
  // A device has these folders before any application starts.
  std::error_code folderError;
  for (const auto& directory :
       {environment.configDirectory, environment.cachesDirectory, environment.temporaryDirectory})
    fs::create_directories(directory, folderError);

  double elapsed = 0;
  double longestTask = 0;
  bool finished = false;
  auto delegate = std::make_shared<TimingDelegate>();
  {
    zelvora::platform::headless::HeadlessPlatform platform(environment);
    auto& sdk = zelvora::ZelController::sharedInstance();
    sdk.setEventDelegate(delegate);
    zelvora::ServerConfiguration configuration;
    configuration.url = url;
    configuration.timeoutSeconds = 20;
    sdk.setServerConfiguration(configuration);

    auto& runLoop = platform.runLoop();
    runLoop.resetTaskStatistics();
    const auto start = Clock::now();
    sdk.initialize(kAppId);
    finished = runLoop.runUntil([&] { return delegate->done; }, 120);
    longestTask = runLoop.longestTaskSeconds();
    if (finished) elapsed = std::chrono::duration<double, std::milli>(delegate->at - start).count();
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);

  if (!finished || delegate->error) {
    std::cerr << "sdk round: "
              << (delegate->error ? "onInitError " + *delegate->error : "no onInit in 120 s")
              << "\n";
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("elapsed_ms=%.6f longest_task_ms=%.6f placements=%zu peak_rss_mb=%.1f\n", elapsed,
              longestTask * 1000, delegate->placements, usage.ru_maxrss / 1024.0);
  return 0;
}

// The least a client must do for the same answer: one easy POST of the SDK's own signed body
// and one parse of the answer. libcurl's process-wide set-up precedes the clock, as it
// precedes the call in the SDK.
int runBareChild(const std::string& url, const fs::path& bodyFile) {
  std::ifstream in(bodyFile, std::ios::binary);
  std::stringstream bodyText;
  bodyText << in.rdbuf();
  const std::string body = bodyText.str();
  if (!in || body.empty()) {
    std::cerr << "bare round: cannot read " << bodyFile << "\n";
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);

  const auto start = Clock::now();
  const auto answerText = zelvora::bench::curlPostJson(url, body);
  const JSON answer = JSON::parse(answerText.value_or(""), nullptr, false);
  const double elapsed = millisecondsSince(start);
  curl_global_cleanup();

  std::size_t placements = 0;
  if (answer.is_object() && answer.contains("data") && answer["data"].is_object() &&
      answer["data"].contains("placements"))
    placements = answer["data"]["placements"].size();
  if (placements == 0) {
    std::cerr << "bare round: no placements in the answer\n";
    return 1;
  }
  std::printf("elapsed_ms=%.6f placements=%zu bytes=%zu\n", elapsed, placements,
              answerText->size());
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The parent.

/// Runs this program again with `arguments`; its line holds "elapsed_ms".
Fields runRound(const std::vector<std::string>& arguments) {
  Fields fields = runChildRound(arguments);
  if (fields.count("elapsed_ms") == 0)
    throw std::runtime_error("child round " + arguments.front() + " printed no time");
  return fields;
}

std::string summary(const std::vector<double>& values) {
  char text[128];
  std::snprintf(text, sizeof text, "median %.3f ms (min %.3f, max %.3f, %zu rounds)",
                median(values), *std::min_element(values.begin(), values.end()),
                *std::max_element(values.begin(), values.end()), values.size());
  return text;
}

/// The first three fields of /proc/loadavg: how busy the machine was while this ran.
std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  if (!(in >> one >> five >> fifteen)) return "unknown";
  return one + " " + five + " " + fifteen;
}

std::unique_ptr<zelvora::server::ReferenceServer> startServer(int placementCount) {
  zelvora::server::ServerOptions options;
  options.host = "127.0.0.1";
  options.campaigns = campaignsWith(placementCount);
  auto server = std::make_unique<zelvora::server::ReferenceServer>(options);
  server->start();
  return server;
}

struct Options {
  int rounds = 50;
  int taskRounds = 5;
};

int runParent(const Options& options) {
  const std::string loadBefore = loadAverage();
  RunFolder folder("zelvora-bench");
  const std::string folderText = folder.path().string();
  auto server = startServer(kPlacements);
  const std::string url = server->endpointUrl();

  const auto sdkRound = [&](const std::string& endpoint) {
    return runRound({kChildSdk, endpoint, folderText});
  };
  const fs::path bodyFile = folder.path() / "body.json";
  const auto bareRound = [&] { return runRound({kChildBare, url, bodyFile.string()}); };

  // The first SDK round also yields the exact body the SDK signs and sends.
  const Fields first = sdkRound(url);
  const auto requests = server->placementsRequests();
  if (requests.empty() || !requests.back().signatureValid)
    throw std::runtime_error("the server recorded no validly signed request");
  {
    std::ofstream out(bodyFile, std::ios::binary);
    out << requests.back().body.dump(-1, ' ', false, JSON::error_handler_t::replace);
  }
  Fields bareFirst = bareRound();
  for (int i = 1; i < kWarmUpRounds; ++i) {
    sdkRound(url);
    bareFirst = bareRound();
  }

  // Alternate the two, so a load that comes and goes on the machine hits both alike.
  std::vector<double> initTimes;
  std::vector<double> bareTimes;
  for (int i = 0; i < options.rounds; ++i) {
    const Fields init = sdkRound(url);
    if (init.at("placements") != kPlacements)
      throw std::runtime_error("onInit reported an unexpected number of placements");
    initTimes.push_back(init.at("elapsed_ms"));
    bareTimes.push_back(bareRound().at("elapsed_ms"));
  }

  // The large answers, each from a server of its own (only while it is measured).
  struct Large {
    int placements;
    std::vector<double> longestTasks, elapsed, peakRss;
  };
  std::vector<Large> larges;
  for (const int count : kLargeAnswers) {
    auto largeServer = startServer(count);
    Large large{count, {}, {}, {}};
    // The largest take seconds a round: fewer of them.
    const int rounds = count > 1000 ? std::max(1, options.taskRounds / 2) : options.taskRounds;
    for (int i = 0; i < rounds; ++i) {
      const Fields round = sdkRound(largeServer->endpointUrl());
      if (round.at("placements") != count)
        throw std::runtime_error("onInit reported an unexpected number of placements");
      large.longestTasks.push_back(round.at("longest_task_ms"));
      large.elapsed.push_back(round.at("elapsed_ms"));
      large.peakRss.push_back(round.at("peak_rss_mb"));
    }
    larges.push_back(std::move(large));
  }

  const double initMedian = median(initTimes);
  const double bareMedian = median(bareTimes);
  std::printf("zelvora-bench-init: reference server on 127.0.0.1, a fresh process per round\n");
  std::printf("answer: %d placements, %.1f KB; %d rounds of each, alternating, after %d warm-up\n",
              static_cast<int>(first.at("placements")), bareFirst.at("bytes") / 1024,
              options.rounds, kWarmUpRounds);
  std::printf(
      "load average before/after: %s / %s (wall-clock times: other processes share "
      "the machine)\n",
      loadBefore.c_str(), loadAverage().c_str());
  std::printf("initialize -> onInit:        %s\n", summary(initTimes).c_str());
  std::printf("bare libcurl POST + parse:   %s\n", summary(bareTimes).c_str());
  for (const auto& large : larges) {
    std::printf(
        "%d placements: longest main-queue task %s; initialize -> onInit %.0f ms; "
        "peak RSS %.0f MB\n",
        large.placements, summary(large.longestTasks).c_str(), median(large.elapsed),
        median(large.peakRss));
  }
  std::printf("main-thread ms (1000 placements): %.2f\n", median(larges.front().longestTasks));
  std::printf("ratio init/bare: %.2f\n", initMedian / bareMedian);
  return 0;
}

std::optional<int> positiveNumber(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 100000) return std::nullopt;
  return static_cast<int>(value);
}

int usage() {
  std::cerr << "usage: zelvora-bench-init [--rounds N] [--task-rounds N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == kChildSdk) return runSdkChild(argv[2], argv[3]);
  if (argc == 4 && std::string_view(argv[1]) == kChildBare) return runBareChild(argv[2], argv[3]);

  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view flag = argv[i];
    if (i + 1 >= argc) return usage();
    const auto number = positiveNumber(argv[++i]);
    if (!number) return usage();
    if (flag == "--rounds") {
      options.rounds = *number;
    } else if (flag == "--task-rounds") {
      options.taskRounds = *number;
    } else {
      return usage();
    }
  }
  try {
    return runParent(options);
  } catch (const std::exception& error) {
    std::cerr << "zelvora-bench-init: " << error.what() << "\n";
    return 1;
  }
}
