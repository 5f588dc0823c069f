// The memory preloaded web ads cost, all processes included, and how long the main thread is
// held while the SDK initialises and preloads them.
#include <cstdio>
#include <stdexcept>

#include "DesktopBench.h"
#include "Sections.h"
#include "zelvora/Log.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace zelvora::bench {
namespace {

constexpr double kSettleSeconds = 1.0;

JSON mraidPlacements(int count) {
  JSON placements = JSON::object();
  for (int i = 0; i < count; ++i) {
    const std::string id = "mraid-" + std::to_string(i);
    placements[id] = placement(id, "mraidTag", mraidAd(id));
  }
  return placements;
}

/// args: the number of ads, the server's URL, a scratch folder, and "warm" to warm the web
/// engine up first, behind a loading screen of a second.
int child(const std::vector<std::string>& args) {
  const int count = std::stoi(args.at(0));
  setLogSink([](std::string_view) {});
  const fs::path root = fs::path(args.at(2)) / ("memory-" + std::to_string(::getpid()));
  auto delegate = std::make_shared<CountingDelegate>();
  platform::gtk::GtkPlatform platform(benchEnvironment(root, 720, 1280),
                                      platform::gtk::UrlMode::record);
  auto& queue = platform.mainQueue();
  platform.showWindow();
  queue.runUntil([] { return false; }, 0.5);
  const TreeMemory before = treeMemory();

  auto& sdk = ZelController::sharedInstance();
  sdk.setEventDelegate(delegate);
  sdk.setServerConfiguration({.url = args.at(1), .caFile = {}, .timeoutSeconds = 30, .limits = {}});
  double warmUpMs = 0, warmUpGapMax = 0;
  if (args.size() > 3 && args[3] == "warm") {
    GapProbe loadingScreen;
    const auto warmStart = Clock::now();
    sdk.warmUp();
    warmUpMs = std::chrono::duration<double, std::milli>(Clock::now() - warmStart).count();
    queue.runUntil([] { return false; }, 1.0);
    warmUpGapMax = loadingScreen.longest();
  }
  GapProbe probe;
  const auto start = Clock::now();
  sdk.initialize(kAppId);
  const bool ready =
      queue.runUntil([&] { return delegate->ready.size() == static_cast<std::size_t>(count); }, 60);
  const double readyMs =
      std::chrono::duration<double, std::milli>(delegate->lastReady - start).count();
  // One more probe turn closes the gap that was open when the last ad became ready.
  queue.runUntil([] { return false; }, 0.05);
  const double gapMax = probe.longest(), gapP99 = probe.percentile(99);
  if (!ready) throw std::runtime_error("not every ad became ready");

  queue.runUntil([] { return false; }, kSettleSeconds);
  const TreeMemory after = treeMemory();
  printFields({{"pss_before_mb", before.pssMB},
               {"pss_mb", after.pssMB},
               {"processes", after.processes},
               {"web_processes", after.webProcesses},
               {"gap_max_ms", gapMax},
               {"gap_p99_ms", gapP99},
               {"ready_ms", readyMs},
               {"warm_up_ms", warmUpMs},
               {"warm_up_gap_max_ms", warmUpGapMax}});
  return 0;
}

std::vector<Figure> run(const Context& context) {
  const int many = context.options.quick ? 6 : 20;
  auto one = startServer(mraidPlacements(1), context.assets);
  auto all = startServer(mraidPlacements(many), context.assets);
  std::vector<Fields> single, multiple, warm;
  for (int round = 0; round < context.options.rounds; ++round) {
    single.push_back(runChild("web-memory", {"1", one->endpointUrl(), context.folder.string()}));
    multiple.push_back(runChild(
        "web-memory", {std::to_string(many), all->endpointUrl(), context.folder.string()}));
    warm.push_back(runChild(
        "web-memory", {std::to_string(many), all->endpointUrl(), context.folder.string(), "warm"}));
  }
  const double base = medianOf(single, "pss_before_mb");
  const double pssOne = medianOf(single, "pss_mb");
  const double pssMany = medianOf(multiple, "pss_mb");
  const double perExtra = (pssMany - pssOne) / (many - 1);
  const double gapMax = medianOf(multiple, "gap_max_ms");
  std::printf(
      "web ads: %d MRAID ads preloaded take %.1f MB PSS in %.0f processes (%.0f web), "
      "1 ad %.1f MB, none %.1f MB: %.1f MB per extra ad\n",
      many, pssMany, medianOf(multiple, "processes"), medianOf(multiple, "web_processes"), pssOne,
      base, perExtra);
  std::printf(
      "web ads: main thread while %d MRAID ads initialise and preload: longest gap "
      "%.1f ms, 99th percentile %.1f ms, all ready after %.0f ms\n",
      many, gapMax, medianOf(multiple, "gap_p99_ms"), medianOf(multiple, "ready_ms"));
  const double warmGapMax = medianOf(warm, "gap_max_ms");
  std::printf(
      "web ads: the warm-up itself: the call %.1f ms, longest gap behind the loading screen "
      "%.1f ms\n",
      medianOf(warm, "warm_up_ms"), medianOf(warm, "warm_up_gap_max_ms"));
  std::printf(
      "web ads: main thread while %d MRAID ads initialise and preload after the warm-up: "
      "longest gap %.1f ms, 99th percentile %.1f ms, all ready after %.0f ms\n",
      many, warmGapMax, medianOf(warm, "gap_p99_ms"), medianOf(warm, "ready_ms"));
  return {{"mraid_ads", static_cast<double>(many), 0},
          {"pss_no_ads_mb", base, 1},
          {"pss_one_mraid_ad_mb", pssOne, 1},
          {"pss_all_mraid_ads_mb", pssMany, 1},
          {"pss_per_extra_mraid_ad_mb", perExtra, 1},
          {"pss_per_extra_mraid_ad_over_no_ads", perExtra / base, 3},
          {"web_processes_all_mraid_ads", medianOf(multiple, "web_processes"), 0},
          {"processes_all_mraid_ads", medianOf(multiple, "processes"), 0},
          {"init_preload_gap_max_ms", gapMax, 1},
          {"init_preload_gap_p99_ms", medianOf(multiple, "gap_p99_ms"), 1},
          {"init_preload_gap_max_over_frame", gapMax / kFrameMs, 2},
          {"warm_up_call_ms", medianOf(warm, "warm_up_ms"), 1},
          {"warm_up_gap_max_ms", medianOf(warm, "warm_up_gap_max_ms"), 1},
          {"init_preload_gap_max_ms_after_warm_up", warmGapMax, 1},
          {"init_preload_gap_p99_ms_after_warm_up", medianOf(warm, "gap_p99_ms"), 1}};
}

}  // namespace

Section webMemorySection() {
  return {"web-memory", run, child};
}

}  // namespace zelvora::bench
