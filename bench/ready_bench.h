#pragma once

// How soon preloaded ads are ready: the time from ZelController::initialize to the first and
// to the last onAdReady for a campaign of 20 banners and 5 videos, next to libcurl fetching
// the same bytes from the same reference server in the same run, unthrottled and through a
// slow link. A benchmark's main calls both functions below.

#include <string>
#include <utility>
#include <vector>

namespace zelvora::bench {

/// A figure for the benchmark's last lines, as "name: value".
using ReadyFigure = std::pair<std::string, double>;

struct ReadyOptions {
  int rounds = 7;
  int throttledRounds = 3;
  /// The slow link's rate, in bytes per second.
  double linkBytesPerSecond = 2e6;
  /// The arguments this program is started with, before a round's own, to run that round.
  std::vector<std::string> roundPrefix = {"--ready-round"};
};

/// One round, in the child process: `args` are the arguments after `roundPrefix`. Prints one
/// line of "key=value" fields; returns the exit status.
int runReadyRound(const std::vector<std::string>& args);

/// Runs the rounds (each in a fresh process: initialisation happens once per process),
/// prints what it measured and returns the figures. Throws std::runtime_error when a round
/// fails.
std::vector<ReadyFigure> runReadyBench(const ReadyOptions& options);

}  // namespace zelvora::bench
