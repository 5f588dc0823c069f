#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "zelvora/Json.h"

namespace demo {

/// One placement of the answer, as the tour saw it.
struct TourRow {
  std::string placement;
  std::string format;
  /// The kind of result its ad should lead to; empty when the demo does not know the ad.
  std::string expected;
  std::string result;
  /// The delegate's events for the placement, in order.
  std::vector<std::string> events;
  /// The targets of its beacons: VAST trackers first in the order the SDK sent them, then the
  /// others sorted (they travel concurrently, so arrival order varies).
  std::vector<std::string> beacons;
  std::vector<std::string> steps;
  std::vector<std::string> openedUrls;

  bool asExpected() const;
};

struct TourReport {
  std::vector<TourRow> rows;
  /// Whether the server showed the beacons it received.
  bool beaconsObserved = false;
  /// Beacons that name no placement of the table, sorted.
  std::vector<std::string> otherBeacons;

  bool allAsExpected() const;
  /// The summary table: one block of lines per placement.
  void print(std::ostream& out) const;
  zelvora::JSON toJson() const;
};

}  // namespace demo
