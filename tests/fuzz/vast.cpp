// A VAST document, as the parser reads it, then as an ad is played from it: the skip and
// progress offsets, the choice of the media file and the macros of every URL it holds.
#include "FuzzWorld.h"
#include "vast/MediaSelection.h"
#include "vast/VastDocument.h"
#include "vast/VastMacros.h"

using namespace zelvora;
using namespace zelvora::vast;

namespace {

const MacroValues& macroValues() {
  static const MacroValues values = [] {
    MacroValues filled;
    filled.errorCode = 405;
    filled.playheadSeconds = 12.5;
    filled.assetUri = "https://cdn.example/clip.mp4?a=[b]&c";
    filled.reason = 2;
    filled.gdprConsent = "CONSENT string";
    filled.gppString = "DBABMA~CP";
    filled.gppSectionIds = {2, 6};
    filled.timestampSeconds = 1796637600.25;
    filled.cacheBusting = "12345678";
    return filled;
  }();
  return values;
}

void fill(const std::string& url) {
  const auto filled = fillMacros(url, macroValues());
  if (url.find('[') == std::string::npos) fuzz::check(filled == url, "no macro, no change");
}

void fillAll(const std::vector<std::string>& urls) {
  for (const auto& url : urls) fill(url);
}

void fillAll(const std::vector<TrackingEvent>& events) {
  for (const auto& event : events) fill(event.url);
}

void play(const Ad& ad, const MediaChoice& choice) {
  fill(ad.adTagUri);
  fillAll(ad.impressions);
  fillAll(ad.errors);
  for (const auto& linear : ad.linears) {
    const double duration = linear.duration.value_or(30);
    if (const auto skip = parseOffset(linear.skipOffset, duration))
      fuzz::check(*skip >= 0, "an offset is never negative");
    for (const auto& event : linear.trackingEvents) {
      if (event.event == "progress") parseOffset(event.offset, duration);
      fill(event.url);
    }
    if (const auto file = chooseMediaFile(linear.mediaFiles, choice)) {
      fuzz::check(file->apiFramework.empty(), "no file that needs an API");
      fuzz::check(choice.canPlay(file->type), "a type the player plays");
      fill(file->url);
    }
    fill(linear.clickThrough);
    fillAll(linear.clickTracking);
    for (const auto& icon : linear.icons) {
      fill(icon.clickThrough);
      fillAll(icon.clickTracking);
      fillAll(icon.viewTracking);
    }
  }
  for (const auto& companion : ad.companions) {
    fill(companion.clickThrough);
    fillAll(companion.clickTracking);
    fillAll(companion.trackingEvents);
  }
  for (const auto& verification : ad.verifications) fillAll(verification.notExecutedUrls);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = parse(fuzz::text(data, size));
  fuzz::check(result.document.has_value() != result.error.has_value(),
              "a document or an error, never both");
  fillAll(result.errorUrls);
  if (!result.document) return 0;
  MediaChoice choice;
  choice.canPlay = [](const std::string& type) {
    return type == "video/mp4" || type == "video/webm";
  };
  for (const auto& ad : result.document->ads) play(ad, choice);
  return 0;
}
