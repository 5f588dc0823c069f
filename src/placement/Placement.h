#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "adunit/Ad.h"
#include "zelvora/Json.h"
#include "zelvora/ZelError.h"
#include "zelvora/util/OrderedMap.h"

namespace zelvora {

/// One placement of the server's answer: its ad units by ad id, in the answer's order. One of
/// them at a time is the placement's current ad, loaded and shown: the first at the start. A
/// load that fails for a passing reason is tried again with a fresh ad unit after a pause that
/// doubles each time (and at once when the network comes back); any other failure moves on to
/// the next ad, and after the last the placement has nothing to show until the process starts
/// again. An ad past its time to live, or built on a backend since replaced, is loaded afresh.
class Placement : public AdPreloadProtocol, public std::enable_shared_from_this<Placement> {
 public:
  explicit Placement(std::string id);

  /// Takes the placement object in; an enabled placement builds its ad units and preloads
  /// the first. Call once, on a placement owned by a shared pointer.
  void setup(JSON withData);

  void onAdLoaded(Ad& ad) override;
  void onAdFailedToLoad(Ad& ad, ZelError reason, const std::string& message) override;
  void onAdReadinessChanged(Ad& ad) override;

  /// The ad loaded or being loaded; none once every ad failed, or for a disabled placement.
  std::shared_ptr<Ad> currentAd() const;
  /// Why the current ad cannot be shown now, from the placement's side (a failed load waiting
  /// for its retry, an ad past its time to live, none left); none when it can.
  std::optional<std::pair<ZelError, std::string>> whyNotReady() const;
  /// Whether the current ad can be shown now: loaded, not showing, not expired.
  bool isReady() const;
  /// Acts on what waited for its turn or for a showing's end (an expiry, a failure), then tells
  /// the host when the placement can be shown again (see `tellReadiness`).
  void reconsider(bool screenFree);
  /// Tells the host, once, when the placement turned ready again: its ad can be shown and
  /// `screenFree` (no ad on screen, the pause between ads over).
  void tellReadiness(bool screenFree);
  /// The network is back: a load waiting for its retry is tried now.
  void networkAvailable();
  /// The backend the current ad was shown on is gone, with its screens: a showing under way
  /// ends for the host.
  void showingLost();
  /// A new backend started: what the current ad built belongs to the old one.
  void backendStarted();
  /// The ad settings changed: the current ad expires by the new time to live.
  void scheduleExpiry();

  const std::optional<JSON>& data() const { return data_; }
  /// Retries spread over a random part of their pause, drawn by each placement for itself (so
  /// that loads ending in another order draw the same); tests seed the placements made after
  /// this call to repeat a run.
  static void seedJitter(std::uint64_t seed) { jitterSeed() = seed; }

  std::string id;
  std::optional<std::string> name;
  std::optional<std::string> status;
  OrderedMap<std::string, std::shared_ptr<Ad>> ads;

 private:
  struct Failure {
    ZelError reason;
    std::string message;
    bool retrying = false;
  };

  static std::uint64_t& jitterSeed();

  void processAds(const JSON& list);
  /// Builds a fresh unit for the current ad (the answer's object again) and preloads it.
  void loadCurrent();
  void preload(const std::shared_ptr<Ad>& unit);
  /// Acts on `failure_` once the current ad is not on screen: a retry or the next ad.
  void settle();
  void scheduleRetry();
  void retryNow();
  /// Discards the current ad when its time to live has run out and it is not on screen.
  void expireIfDue();
  bool expired() const;
  double timeToLive() const;
  bool isCurrent(const Ad& ad) const;

  std::optional<JSON> data_;
  /// The ad objects the factory took, by ad id, in the order of `ads`.
  OrderedMap<std::string, JSON> adObjects_;
  std::size_t current_ = 0;
  /// Passing failures of the current ad in a row.
  int failures_ = 0;
  /// A failure of the current ad not acted on yet (it was on screen), or its retry pending.
  std::optional<Failure> failure_;
  /// Tells timers of a loading given up since from the current one.
  std::uint64_t attempt_ = 0;
  std::optional<double> loadedAt_;
  /// Tells the expiry timer set last from earlier ones.
  std::uint64_t expiryTimer_ = 0;
  /// The loaded ad's time to live is over. Set by its timer, never by comparing times: a clock
  /// that stops a hair either side of the end must not find the ad expired with no reload
  /// started, nor start one the host cannot see coming.
  bool expiryDue_ = false;
  std::mt19937_64 jitter_;
  std::uint64_t backend_ = 0;
  /// `onAdReady` was sent; the host last heard that the placement can be shown.
  bool announced_ = false;
  bool toldReady_ = false;
};

}  // namespace zelvora
