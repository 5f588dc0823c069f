#include "TrackerLog.h"

#include <algorithm>

namespace demo {

void TrackerLog::note(std::string_view line) {
  constexpr std::string_view prefix = "VAST tracker ";
  if (line.substr(0, prefix.size()) != prefix) return;
  const auto url = line.find(": ");
  if (url == std::string_view::npos) return;
  std::string_view target = line.substr(url + 2);
  // The server records path and query.
  if (const auto scheme = target.find("://"); scheme != std::string_view::npos) {
    const auto path = target.find('/', scheme + 3);
    target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
  }
  std::lock_guard lock(mutex_);
  targets_.emplace_back(target);
}

std::vector<std::string> TrackerLog::sentTargets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

std::vector<std::string> inSendingOrder(std::vector<std::string> beacons,
                                        const std::vector<std::string>& sent) {
  std::vector<std::string> ordered;
  for (const auto& target : sent) {
    const auto received = std::find(beacons.begin(), beacons.end(), target);
    if (received == beacons.end()) continue;
    ordered.push_back(*received);
    beacons.erase(received);
  }
  std::sort(beacons.begin(), beacons.end());
  ordered.insert(ordered.end(), beacons.begin(), beacons.end());
  return ordered;
}

}  // namespace demo
