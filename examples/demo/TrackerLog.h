#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace demo {

/// The VAST trackers the SDK sent, in the order it sent them, read from its console lines
/// ("VAST tracker <event>: <url>"). Beacons travel concurrently, so the server's arrival order
/// can differ; this order is the SDK's. The SDK logs from any thread: guarded.
class TrackerLog {
 public:
  /// Takes a console line of the SDK; other lines are ignored.
  void note(std::string_view line);
  /// Path and query of each tracker sent, in order.
  std::vector<std::string> sentTargets() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
};

/// `beacons` (targets the server received) with the trackers in the order they were sent,
/// then the others sorted.
std::vector<std::string> inSendingOrder(std::vector<std::string> beacons,
                                        const std::vector<std::string>& sent);

}  // namespace demo
