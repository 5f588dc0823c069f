// The ready-time benchmark (see ready_bench.h). Every round runs in a fresh child process,
// which this program starts by executing itself with a hidden first argument; the child
// times its own work and prints one line of "key=value" fields. The reference servers, the
// campaign and its files live in the parent.
#include "ready_bench.h"

#include <curl/curl.h>
#include <unistd.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "Rounds.h"
#include "zelvora/Json.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/server/ReferenceServer.h"

namespace zelvora::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kAppId = "ready-bench";
constexpr const char* kSdkRound = "sdk";
constexpr const char* kCurlRound = "curl";
constexpr int kPlacements = 25;  // every fifth a video: 20 banners, 5 videos
constexpr int kBannerSide = 320;
constexpr std::size_t kVideoBytes = 1900 * 1000;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool isVideo(int placement) {
  return placement % 5 == 4;
}

std::string placementId(int placement) {
  char text[16];
  std::snprintf(text, sizeof text, "p%02d", placement);
  return text;
}

std::string fileName(int placement) {
  return (isVideo(placement) ? "video-" : "banner-") + std::to_string(placement) +
         (isVideo(placement) ? ".webm" : ".png");
}

// ---------------------------------------------------------------------------------------------
// The campaign: its files (banners of noise, which does not compress, and videos that are a
// WebM header and padding: nothing decodes them headless) and its placements.

void writeCampaignFiles(const fs::path& assets, const fs::path& serverAssets) {
  fs::create_directories(assets);
  std::mt19937 random(17);
  for (int i = 0; i < kPlacements; ++i) {
    const fs::path path = assets / fileName(i);
    if (isVideo(i)) {
      std::ifstream in(serverAssets / "sample-video.webm", std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), {});
      while (bytes.size() < kVideoBytes) bytes.push_back(static_cast<char>(random()));
      bytes.resize(kVideoBytes);
      std::ofstream(path, std::ios::binary) << bytes;
    } else {
      std::vector<unsigned char> pixels(kBannerSide * kBannerSide * 3);
      for (auto& value : pixels) value = static_cast<unsigned char>(random());
      if (stbi_write_png(path.c_str(), kBannerSide, kBannerSide, 3, pixels.data(),
                         kBannerSide * 3) == 0)
        throw std::runtime_error("cannot write " + path.string());
    }
  }
  for (const char* icon : {"ic_sound_on.png", "ic_sound_off.png"})
    fs::copy_file(serverAssets / icon, assets / icon, fs::copy_options::overwrite_existing);
}

JSON campaign() {
  JSON placements = JSON::object();
  for (int i = 0; i < kPlacements; ++i) {
    const std::string id = placementId(i);
    const std::string file = "{server}/assets/" + fileName(i);
    JSON data = JSON::object();
    if (isVideo(i)) {
      data["video"] = file;
      data["duration"] = 8;
      data["skippableIn"] = 5;
    } else {
      data["ctv"] = file;
    }
    data["imp"] = "{server}/t/imp?ad=" + id;
    JSON ad = {{"adId", "ad-" + id},
               {"ad",
                {{"type", "interstitial"},
                 {"subtype", isVideo(i) ? "video" : "banner"},
                 {"data", std::move(data)}}}};
    placements[id] = {{"name", id}, {"status", "enabled"}, {"ads", JSON::array({ad})}};
  }
  return JSON{{"apps", {{kAppId, {{"placements", std::move(placements)}}}}}};
}

// ---------------------------------------------------------------------------------------------
// The rounds, each in a child process.

class ReadyDelegate : public ZelEventDelegate {
 public:
  explicit ReadyDelegate(Clock::time_point& start) : start_(start) {}
  void onInit(const std::vector<std::string>&) override { initMs = millisecondsSince(start_); }
  void onInitError(const std::string& message) override { error = message; }
  void onNoAds(const std::string& id) override { error = "onNoAds " + id; }
  void onAdReady(const std::string& id) override {
    const double at = millisecondsSince(start_);
    if (ready == 0) {
      firstMs = at;
      firstId = id;
    }
    lastMs = at;
    ++ready;
  }

  int ready = 0;
  double initMs = 0;
  double firstMs = 0;
  double lastMs = 0;
  std::string firstId;
  std::optional<std::string> error;

 private:
  Clock::time_point& start_;
};

int runSdkRound(const std::string& url, const fs::path& parentFolder) {
  setLogSink([](std::string_view) {});
  const fs::path folder = parentFolder / ("sdk-" + std::to_string(::getpid()));
  platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.zelvora.bench.ready";
  environment.configDirectory = folder / "config";
  environment.cachesDirectory = folder / "caches";
  environment.temporaryDirectory = folder / "tmp";
  std::error_code ignored;
  for (const auto& directory :
       {environment.configDirectory, environment.cachesDirectory, environment.temporaryDirectory})
    fs::create_directories(directory, ignored);

  Clock::time_point start;
  auto delegate = std::make_shared<ReadyDelegate>(start);
  bool finished = false;
  {
    platform::headless::HeadlessPlatform platform(environment);
    auto& sdk = ZelController::sharedInstance();
    sdk.setEventDelegate(delegate);
    ServerConfiguration configuration;
    configuration.url = url;
    configuration.timeoutSeconds = 30;
    sdk.setServerConfiguration(configuration);
    start = Clock::now();
    sdk.initialize(kAppId);
    finished = platform.runLoop().runUntil(
        [&] { return delegate->ready == kPlacements || delegate->error; }, 120);
  }
  fs::remove_all(folder, ignored);
  if (!finished || delegate->error) {
    std::cerr << "sdk round: " << delegate->error.value_or("not every ad ready in 120 s") << "\n";
    return 1;
  }
  std::printf("init_ms=%.3f first_ms=%.3f last_ms=%.3f first_placement=%d\n", delegate->initMs,
              delegate->firstMs, delegate->lastMs, std::stoi(delegate->firstId.substr(1)));
  return 0;
}

std::size_t count(char*, std::size_t size, std::size_t count, void* target) {
  *static_cast<std::size_t*>(target) += size * count;
  return size * count;
}

// The same bytes as plain libcurl fetches them: the SDK's own signed POST, then every file
// at once on one multi handle (libcurl's defaults), each body counted and dropped.
int runCurlRound(const std::string& endpoint, const fs::path& bodyFile, const fs::path& urlsFile) {
  std::ifstream bodyIn(bodyFile, std::ios::binary);
  const std::string body((std::istreambuf_iterator<char>(bodyIn)), {});
  std::ifstream urlsIn(urlsFile);
  std::vector<std::string> urls;
  for (std::string line; std::getline(urlsIn, line);)
    if (!line.empty()) urls.push_back(line);
  curl_global_init(CURL_GLOBAL_DEFAULT);

  const auto start = Clock::now();
  const auto answer = curlPostJson(endpoint, body);
  const bool answered = answer && JSON::parse(*answer, nullptr, false).is_object();

  CURLM* multi = curl_multi_init();
  std::vector<std::size_t> received(urls.size(), 0);
  std::map<CURL*, std::size_t> index;
  for (std::size_t i = 0; i < urls.size(); ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, urls[i].c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, count);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received[i]);
    curl_multi_add_handle(multi, easy);
    index[easy] = i;
  }
  double firstMs = 0;
  double placementZeroMs = 0;
  double lastMs = 0;
  std::size_t done = 0;
  bool failed = !answered;
  while (done < urls.size() && !failed) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      long status = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      if (message->data.result != CURLE_OK || status != 200) failed = true;
      const double at = millisecondsSince(start);
      if (done++ == 0) firstMs = at;
      if (index[message->easy_handle] == 0) placementZeroMs = at;
      lastMs = at;
    }
    if (done < urls.size()) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  std::size_t bytes = answer ? answer->size() : 0;
  for (const auto& [easy, i] : index) {
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    bytes += received[i];
  }
  curl_multi_cleanup(multi);
  curl_global_cleanup();
  if (failed) {
    std::cerr << "curl round: a transfer failed\n";
    return 1;
  }
  std::printf("first_ms=%.3f last_ms=%.3f placement0_ms=%.3f bytes=%zu\n", firstMs, lastMs,
              placementZeroMs, bytes);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The parent.

/// Runs the round `arguments` after `prefix` in a child process; its line holds "last_ms".
Fields runRound(const std::vector<std::string>& prefix, const std::vector<std::string>& arguments) {
  std::vector<std::string> words = prefix;
  words.insert(words.end(), arguments.begin(), arguments.end());
  Fields fields = runChildRound(words);
  if (fields.count("last_ms") == 0)
    throw std::runtime_error("round " + arguments.front() + " printed no time");
  return fields;
}

std::string listed(const std::vector<double>& values) {
  std::string text;
  char number[32];
  for (const double value : values) {
    std::snprintf(number, sizeof number, "%s%.1f", text.empty() ? "" : " ", value);
    text += number;
  }
  return text;
}

struct Series {
  std::vector<double> sdkInit, sdkFirst, sdkLast, sdkFirstOwn, curlFirst, curlLast, curlZero;
};

}  // namespace

int runReadyRound(const std::vector<std::string>& args) {
  if (args.size() == 3 && args[0] == kSdkRound) return runSdkRound(args[1], args[2]);
  if (args.size() == 4 && args[0] == kCurlRound) return runCurlRound(args[1], args[2], args[3]);
  std::cerr << "ready round: unknown arguments\n";
  return 2;
}

std::vector<ReadyFigure> runReadyBench(const ReadyOptions& options) {
  RunFolder folder("zelvora-ready");
  const fs::path assets = folder.path() / "assets";
  writeCampaignFiles(assets, ZELVORA_SERVER_ASSETS_DIR);
  std::vector<std::size_t> placementBytes;
  std::size_t totalBytes = 0;
  for (int i = 0; i < kPlacements; ++i) {
    placementBytes.push_back(fs::file_size(assets / fileName(i)));
    totalBytes += placementBytes.back();
  }

  server::ServerOptions serverOptions;
  serverOptions.campaigns = campaign();
  serverOptions.assetDirectory = assets;
  server::ReferenceServer open(serverOptions);
  open.start();
  serverOptions.assetBytesPerSecond = options.linkBytesPerSecond;
  server::ReferenceServer slow(serverOptions);
  slow.start();

  const auto sdkRound = [&](server::ReferenceServer& server) {
    return runRound(options.roundPrefix, {kSdkRound, server.endpointUrl(), folder.path().string()});
  };
  // The first round yields the body the SDK signs, which the libcurl rounds post.
  sdkRound(open);
  const auto requests = open.placementsRequests();
  if (requests.empty() || !requests.back().signatureValid)
    throw std::runtime_error("the server recorded no validly signed request");
  const fs::path bodyFile = folder.path() / "body.json";
  std::ofstream(bodyFile, std::ios::binary)
      << requests.back().body.dump(-1, ' ', false, JSON::error_handler_t::replace);
  const auto urlsFileFor = [&](server::ReferenceServer& server) {
    const fs::path file = folder.path() / ("urls-" + std::to_string(server.port()));
    std::ofstream out(file);
    for (int i = 0; i < kPlacements; ++i)
      out << server.baseUrl() << "/assets/" << fileName(i) << "\n";
    for (const char* icon : {"ic_sound_on.png", "ic_sound_off.png"})
      out << server.baseUrl() << "/assets/" << icon << "\n";
    return file;
  };
  const auto curlRound = [&](server::ReferenceServer& server, const fs::path& urls) {
    return runRound(options.roundPrefix,
                    {kCurlRound, server.endpointUrl(), bodyFile.string(), urls.string()});
  };

  const auto measure = [&](server::ReferenceServer& server, int rounds) {
    const fs::path urls = urlsFileFor(server);
    Series series;
    // Alternating, so that a load that comes and goes on the machine hits both alike.
    for (int i = 0; i < rounds; ++i) {
      const Fields sdk = sdkRound(server);
      series.sdkInit.push_back(sdk.at("init_ms"));
      series.sdkFirst.push_back(sdk.at("first_ms"));
      series.sdkLast.push_back(sdk.at("last_ms"));
      const auto first = static_cast<std::size_t>(sdk.at("first_placement"));
      const double ownMs = 1000.0 * placementBytes.at(first) / options.linkBytesPerSecond;
      series.sdkFirstOwn.push_back(sdk.at("first_ms") / ownMs);
      const Fields curl = curlRound(server, urls);
      series.curlFirst.push_back(curl.at("first_ms"));
      series.curlLast.push_back(curl.at("last_ms"));
      series.curlZero.push_back(curl.at("placement0_ms"));
    }
    return series;
  };

  sdkRound(open);  // warm-up of the files' pages and the servers
  curlRound(open, urlsFileFor(open));
  const Series fast = measure(open, options.rounds);
  const Series limited = measure(slow, options.throttledRounds);

  const double mb = 1e6;
  std::printf(
      "ready time: %d placements (20 banners, 5 videos), %.2f MB, reference server on "
      "127.0.0.1, a fresh process per round\n",
      kPlacements, totalBytes / mb);
  std::printf("unthrottled, %d rounds (ms):\n", options.rounds);
  std::printf("  sdk  initialize -> onInit:          %s\n", listed(fast.sdkInit).c_str());
  std::printf("  sdk  initialize -> first onAdReady: %s\n", listed(fast.sdkFirst).c_str());
  std::printf("  sdk  initialize -> last onAdReady:  %s\n", listed(fast.sdkLast).c_str());
  std::printf("  curl POST + every file, first file: %s\n", listed(fast.curlFirst).c_str());
  std::printf("  curl POST + every file, all files:  %s\n", listed(fast.curlLast).c_str());
  std::printf("through a %.1f MB/s link, %d rounds (ms):\n", options.linkBytesPerSecond / mb,
              options.throttledRounds);
  std::printf("  sdk  initialize -> first onAdReady: %s\n", listed(limited.sdkFirst).c_str());
  std::printf("  sdk  first ready / its own bytes' time at the link's rate: %s\n",
              listed(limited.sdkFirstOwn).c_str());
  std::printf("  sdk  initialize -> last onAdReady:  %s\n", listed(limited.sdkLast).c_str());
  std::printf("  curl first file:                    %s\n", listed(limited.curlFirst).c_str());
  std::printf("  curl first placement's file:        %s\n", listed(limited.curlZero).c_str());
  std::printf("  curl all files:                     %s\n", listed(limited.curlLast).c_str());
  std::printf("  all the bytes at the link's rate:   %.1f\n",
              1000.0 * totalBytes / options.linkBytesPerSecond);

  return {
      {"ready_first_ms", median(fast.sdkFirst)},
      {"ready_all_ms", median(fast.sdkLast)},
      {"ready_all_max_ms", *std::max_element(fast.sdkLast.begin(), fast.sdkLast.end())},
      {"curl_all_ms", median(fast.curlLast)},
      {"ready_all_vs_curl", median(fast.sdkLast) / median(fast.curlLast)},
      {"throttled_ready_first_ms", median(limited.sdkFirst)},
      {"throttled_ready_first_vs_own_bytes", median(limited.sdkFirstOwn)},
      {"throttled_ready_all_ms", median(limited.sdkLast)},
      {"throttled_curl_all_ms", median(limited.curlLast)},
      {"throttled_ready_all_vs_curl", median(limited.sdkLast) / median(limited.curlLast)},
  };
}

}  // namespace zelvora::bench
