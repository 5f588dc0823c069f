#pragma once

#include <cstdint>

#include "zelvora/Export.h"

namespace zelvora {

/// Bounds on the SDK's network traffic, so that no server can make a request last for ever,
/// fill the memory or the disk, or exhaust the process's file descriptors. Zero or a
/// negative value keeps the default.
struct ZELVORA_API TransferLimits {
  /// Seconds the getPlacements request may take from start to end, however steadily the
  /// server answers (the idle time-out ends requests that stop moving sooner).
  double initDeadlineSeconds = 60;
  /// Seconds a tracking beacon may take.
  double beaconDeadlineSeconds = 30;
  /// Seconds one file download may take, counted from when it starts (not while it waits for
  /// its turn).
  double downloadDeadlineSeconds = 600;

  /// Largest answer to getPlacements, in bytes.
  std::int64_t maxAnswerBytes = 16 << 20;
  /// Largest downloaded file of each kind, in bytes.
  std::int64_t maxImageBytes = 20 << 20;
  std::int64_t maxVideoBytes = 200 << 20;
  std::int64_t maxWebAssetBytes = 4 << 20;

  /// Downloads that run at once; later ones wait for their turn, in order.
  int maxConcurrentDownloads = 4;
  /// Other requests (getPlacements, beacons) that run at once, beside the downloads.
  int maxConcurrentRequests = 8;
};

}  // namespace zelvora
