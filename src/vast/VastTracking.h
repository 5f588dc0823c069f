#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "vast/VastChain.h"

namespace zelvora::vast {

/// Fires the trackers of a resolved ad, each at its moment: impressions, "creativeView",
/// "start", the quartiles, "complete", "skip", "closeLinear", every "progress" offset and the
/// error once per ad; "pause", "resume", "mute" and "unmute" once per change. Every URL's
/// macros are filled at the moment it leaves.
class Tracking {
 public:
  Tracking(ResolvedAd ad, std::function<MacroValues()> macros);

  /// The first frame is on screen: impressions, "creativeView", "start", and the
  /// verifications reported as not executed.
  void started();
  /// A time report at `seconds`: the quartiles and progress offsets reached.
  void progressed(double seconds);
  /// "complete", "skip", "closeLinear", "pause", "resume", "mute", "unmute".
  void event(const std::string& name);
  /// Every ClickTracking of the chain.
  void clicked();
  /// Every error URL of the chain, with `code`; once.
  void failed(VastError code);
  /// Whether the linear creative was left for good (completed, skipped or closed).
  bool ended() const;

  const ResolvedAd& ad() const { return ad_; }

 private:
  MacroValues values() const;
  void fire(const std::vector<std::string>& urls, MacroValues values,
            const std::string& what) const;
  /// The trackers of `name` (and, for "progress", of that offset), once when `once`.
  void fireEvent(const std::string& name, bool once);

  ResolvedAd ad_;
  std::function<MacroValues()> macros_;
  std::set<std::string> fired_;
  double playhead_ = 0;
};

/// Sends each of `urls` with its macros filled, fire and forget, with one trace line each:
/// "VAST tracker <what>: <url>".
void send(const std::vector<std::string>& urls, const MacroValues& values, const std::string& what);
/// Sends `urls` with [ERRORCODE] `code`: the error of a chain that gave no ad.
void reportError(const std::vector<std::string>& urls, VastError code, MacroValues values);

/// [REASON] of "verificationNotExecuted": the player does not run verification code.
constexpr int kVerificationNotSupported = 2;

}  // namespace zelvora::vast
