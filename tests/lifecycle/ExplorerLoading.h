#pragma once

// What the explorer follows of each placement's loading: its attempts (each a fresh ad unit, seen
// through the SDK's internals) with when each loaded and when its failure or expiry was
// reported, and the showAd calls that returned before their outcome.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adunit/Ad.h"
#include "net/JsonReading.h"
#include "zelvora/AdSettings.h"
#include "zelvora/ZelError.h"

namespace zelvora::test::explorer {

struct Attempt {
  /// Weak, as the placement holds it; the pointer still tells it from a later unit at its address.
  std::weak_ptr<Ad> unit;
  std::string adId;
  /// The backend generation it was made on.
  std::uint64_t platform = 0;
  std::optional<double> loadedAt;
  /// When its failure, or its expiry, reached the host.
  std::optional<double> reportedAt;
  bool expired = false;
  /// What the extended delegate heard, when the host had one.
  std::optional<ZelError> reason;
};

struct PlacementLoading {
  std::optional<Attempt> attempt;
  /// Failed attempts of the current ad in a row, since it last loaded.
  int failuresInARow = 0;
};

/// A showAd that returned without an outcome: the ad was presenting, or (its placement not
/// ready) its banner was still on its way, `banner` then.
struct WaitingShow {
  int step = 0;
  std::weak_ptr<Ad> banner;
  bool deferred = false;
};

inline bool sameUnit(const std::weak_ptr<Ad>& a, const std::shared_ptr<Ad>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

/// An ad of markup: it loads as its page does, which waits for the explorer.
inline bool isPage(const Ad& ad) {
  return ad.format() == AdFormat::html || ad.format() == AdFormat::jsTag ||
         ad.format() == AdFormat::mraidTag;
}

/// The faults a later attempt of the same ad may mend.
inline bool isPassing(ZelError reason) {
  switch (reason) {
    case ZelError::network:
    case ZelError::tls:
    case ZelError::timedOut:
    case ZelError::downloadFailed:
    case ZelError::pageDidNotLoad:
    case ZelError::vastWrapperTimeout:
    case ZelError::vastMediaTimeout:
      return true;
    default:
      return false;
  }
}

/// The ad's own "ttlSeconds", else the host's; zero: it does not expire.
inline double timeToLive(const Ad& ad, const AdSettings& settings) {
  const JSON& own = member(ad.data(), "ttlSeconds");
  return own.is_number() && own.get<double>() > 0 ? own.get<double>()
                                                  : settings.adTimeToLiveSeconds;
}

}  // namespace zelvora::test::explorer
