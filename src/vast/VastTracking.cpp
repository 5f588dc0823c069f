#include "vast/VastTracking.h"

#include "RESTClient.h"
#include "zelvora/Log.h"

namespace zelvora::vast {

namespace {
/// Events that belong to one moment of the ad: they leave at most once.
bool isOnce(const std::string& name) {
  return name != "pause" && name != "resume" && name != "mute" && name != "unmute";
}
}  // namespace

void send(const std::vector<std::string>& urls, const MacroValues& values,
          const std::string& what) {
  const MacroValues filledIn = withConsentStrings(values);
  for (const auto& url : urls) {
    const std::string filled = fillMacros(url, filledIn);
    log(LogLevel::trace, "VAST tracker " + what + ": " + filled);
    RESTClient::callBeacon(filled);
  }
}

void reportError(const std::vector<std::string>& urls, VastError code, MacroValues values) {
  values.errorCode = static_cast<int>(code);
  send(urls, values, "error");
}

Tracking::Tracking(ResolvedAd ad, std::function<MacroValues()> macros)
    : ad_(std::move(ad)), macros_(std::move(macros)) {}

MacroValues Tracking::values() const {
  return macros_ ? macros_() : MacroValues{};
}

void Tracking::fire(const std::vector<std::string>& urls, MacroValues values,
                    const std::string& what) const {
  values.playheadSeconds = playhead_;
  values.assetUri = ad_.media.url;
  send(urls, values, what);
}

void Tracking::fireEvent(const std::string& name, bool once) {
  if (once && !fired_.insert(name).second) return;
  std::vector<std::string> urls;
  for (const auto& tracker : ad_.linear.trackingEvents)
    if (tracker.event == name) urls.push_back(tracker.url);
  fire(urls, values(), name);
}

void Tracking::started() {
  if (!fired_.insert("impression").second) return;
  playhead_ = 0;
  fire(ad_.impressions, values(), "impression");
  fireEvent("creativeView", true);
  fireEvent("start", true);
  MacroValues reason = values();
  reason.reason = kVerificationNotSupported;
  for (const auto& verification : ad_.verifications)
    fire(verification.notExecutedUrls, reason, "verificationNotExecuted");
}

void Tracking::progressed(double seconds) {
  playhead_ = seconds;
  const double duration = ad_.linear.duration.value_or(0);
  if (duration > 0) {
    if (seconds >= duration / 4) fireEvent("firstQuartile", true);
    if (seconds >= duration / 2) fireEvent("midpoint", true);
    if (seconds >= duration * 3 / 4) fireEvent("thirdQuartile", true);
  }
  for (const auto& tracker : ad_.linear.trackingEvents) {
    if (tracker.event != "progress") continue;
    const auto offset = parseOffset(tracker.offset, duration);
    // Each progress tracker once, keyed by its place in the list.
    const std::string key =
        "progress#" + std::to_string(&tracker - ad_.linear.trackingEvents.data());
    if (offset && seconds >= *offset && fired_.insert(key).second)
      fire({tracker.url}, values(), "progress");
  }
}

void Tracking::event(const std::string& name) {
  if (name == "complete") playhead_ = ad_.linear.duration.value_or(playhead_);
  fireEvent(name, isOnce(name));
}

void Tracking::clicked() {
  fire(ad_.linear.clickTracking, values(), "clickTracking");
}

void Tracking::failed(VastError code) {
  if (!fired_.insert("error").second) return;
  MacroValues withCode = values();
  withCode.errorCode = static_cast<int>(code);
  fire(ad_.errorUrls, withCode, "error");
}

bool Tracking::ended() const {
  return fired_.count("complete") || fired_.count("skip") || fired_.count("closeLinear");
}

}  // namespace zelvora::vast
