#pragma once

// zelvora-bench-desktop: the desktop backend's costs, measured against the reference server on
// loopback. The program is a set of sections; each runs its rounds in fresh child processes
// (one initialisation per process), which re-execute this program as
// `--child SECTION ARGS...` and print one line of "key=value" fields; the parent keeps the
// medians and prints the figures. A section lives in a file of its own: it declares its
// `Section` in Sections.h and adds itself to `sections()` in desktop_bench.cpp.
//
// It measures and prints; it never judges a time.

#include <glib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Rounds.h"
#include "zelvora/Json.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/server/ReferenceServer.h"

namespace zelvora::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start);

/// One figure of the final lines: `name: value`.
struct Figure {
  std::string name;
  double value;
  int decimals = 2;
};

struct Options {
  bool quick = false;
  int rounds = 3;
};

/// What every section gets from the parent.
struct Context {
  Options options;
  fs::path folder;  // scratch space, removed at the end
  fs::path assets;  // the server's assets: server/assets and the bench's own files
};

/// A section: its parent side (runs children, prints its lines, returns its figures) and its
/// child side (one round; prints one line of fields; returns the exit status).
struct Section {
  std::string name;
  std::function<std::vector<Figure>(const Context&)> run;
  std::function<int(const std::vector<std::string>& args)> child;
};

/// Runs `--child section args...` (see runChildRound).
Fields runChild(const std::string& section, const std::vector<std::string>& args);

/// The median of `key` over `rounds` of one child.
double medianOf(const std::vector<Fields>& rounds, const std::string& key);

// ---------------------------------------------------------------------------------------------
// The server and the ads.

constexpr const char* kAppId = "bench-app";

std::unique_ptr<server::ReferenceServer> startServer(const JSON& placements,
                                                     const fs::path& assets);
JSON placement(const std::string& adId, const std::string& subtype, JSON data);
JSON mraidAd(const std::string& adId);
JSON htmlAd(const std::string& adId);
JSON bannerAd(const std::string& adId, const std::string& image);
JSON videoAd(const std::string& adId);

// ---------------------------------------------------------------------------------------------
// Child side: the SDK on the desktop backend.

/// Counts the delegate's events per placement.
class CountingDelegate : public ZelEventDelegate {
 public:
  void onInit(const std::vector<std::string>& ids) override;
  void onInitError(const std::string& message) override;
  void onNoAds(const std::string& id) override;
  void onAdReady(const std::string& id) override;
  void onAdShown(const std::string& id) override;
  void onAdFailedToShow(const std::string& id) override;
  void onAdClose(const std::string& id) override;

  bool initialised = false;
  std::string error;
  std::size_t placements = 0;
  std::map<std::string, int> ready, shown, closed, failed, noAds;
  /// When the last onAdReady came, and each placement's first.
  Clock::time_point lastReady;
  std::map<std::string, Clock::time_point> readyAt;
};

/// The folders of a fresh device under `root`, with a screen of `width` x `height`.
platform::HostEnvironment benchEnvironment(const fs::path& root, int width, int height);

/// Measures how long the main thread goes between turns: a high-priority timeout every
/// `kProbeMs` on the main context records the time between its calls. A turn that holds
/// the thread shows as one long gap.
class GapProbe {
 public:
  static constexpr unsigned kProbeMs = 2;
  GapProbe();
  ~GapProbe();
  GapProbe(const GapProbe&) = delete;
  GapProbe& operator=(const GapProbe&) = delete;

  /// Forgets the gaps so far: the next ones start a new phase.
  void reset();
  double longest() const;
  double percentile(double p) const;
  std::size_t count() const { return gaps_.size(); }

 private:
  static gboolean onTick(gpointer self);
  guint source_ = 0;
  Clock::time_point last_;
  std::vector<double> gaps_;
};

/// The CPU time of this process (all threads) over the wall time, in percent of one core.
class CpuMeter {
 public:
  CpuMeter();
  double percent() const;

 private:
  double cpu0_;
  Clock::time_point wall0_;
};

/// The PSS of this process and all its descendants, in MB, and how many of them are WebKit
/// web processes.
struct TreeMemory {
  double pssMB = 0;
  int processes = 0;
  int webProcesses = 0;
};
TreeMemory treeMemory();

}  // namespace zelvora::bench
