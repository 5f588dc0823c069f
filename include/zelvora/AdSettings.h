#pragma once

#include "zelvora/Export.h"

namespace zelvora {

/// How the SDK loads, keeps and paces ads. The defaults keep ads until they are shown, show
/// them back to back, and retry a failed load after 2 s, 4 s, ... up to a minute apart.
struct ZELVORA_API AdSettings {
  /// Seconds before a load that failed for a passing reason (the network, a time-out, a
  /// server error) is tried again; doubled after each failure up to `retryMaxSeconds`, with a
  /// random part of up to a quarter added so that many hosts do not retry in step.
  double retryInitialSeconds = 2;
  double retryMaxSeconds = 64;
  /// Seconds a loaded ad may wait to be shown before it is discarded and loaded afresh; an
  /// ad's own "ttlSeconds" (in its "ad"/"data") takes precedence. Zero: ads do not expire.
  double adTimeToLiveSeconds = 0;
  /// Seconds from the end of one ad's showing to the next `showAd` at the least; a `showAd`
  /// sooner fails to show. Zero: no pacing.
  double minimumSecondsBetweenAds = 0;
  /// Memory, in MiB, the decoded pictures of banner ads that are not on screen may take: beyond
  /// it the least recently decoded let theirs go, and a picture let go is decoded again off
  /// the main thread when its ad is shown (which then presents a moment later). Its ad stays
  /// ready: the file is kept, and it decoded once. Zero: every picture stays decoded.
  double decodedImageBudgetMiB = 64;
  /// While integrating: ads show as usual, marked "Test ad", and no tracking request
  /// (impressions, clicks, display time, VAST events) leaves the device; each is logged instead.
  bool testMode = false;
};

}  // namespace zelvora
