#pragma once

// How soon preloaded ads are ready: the time from ZelController::initialize to the first and
// to the last onAdReady for a campaign of 20 banners and 5 videos, next to libcurl fetching
// the same bytes from the same reference server in the same run, unthrottled and through a
// slow link. A benchmark's main calls both functions below.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zelvora::bench {

/// A figure for the benchmark's last lines, as "name: value".
using Figure = std::pair<std::string, double>;

/// When this process was started as one round of the ready-time benchmark (a hidden first
/// argument), runs it and returns its exit code; otherwise nothing.
std::optional<int> runReadyRound(int argc, char** argv);

struct ReadyOptions {
  int rounds = 7;
  int throttledRounds = 3;
  /// The slow link's rate, in bytes per second.
  double linkBytesPerSecond = 2e6;
};

/// Runs the rounds (each in a fresh process: initialisation happens once per process),
/// prints what it measured and returns the figures. Throws std::runtime_error when a round
/// fails.
std::vector<Figure> runReadyBench(const ReadyOptions& options);

}  // namespace zelvora::bench
