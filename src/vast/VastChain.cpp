#include "vast/VastChain.h"

#include <algorithm>

#include "net/HttpClient.h"
#include "util/Text.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora::vast {

namespace {
template <typename T>
void append(std::vector<T>& to, const std::vector<T>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

std::shared_ptr<Chain> Chain::fromTag(const std::string& tagUrl, ChainOptions options, Done done) {
  std::shared_ptr<Chain> chain(new Chain(std::move(options), std::move(done)));
  chain->visited_.insert(std::string(trimmed(tagUrl)));
  chain->fetch(std::string(trimmed(tagUrl)));
  return chain;
}

std::shared_ptr<Chain> Chain::fromDocument(const std::string& xml, ChainOptions options,
                                           Done done) {
  std::shared_ptr<Chain> chain(new Chain(std::move(options), std::move(done)));
  // Read in a task of its own: the outcome never arrives inside this call.
  platform::mainQueue().post([weak = std::weak_ptr<Chain>(chain), xml] {
    if (auto self = weak.lock()) self->read(xml);
  });
  return chain;
}

void Chain::cancel() {
  done_ = nullptr;
}

void Chain::fetch(const std::string& url) {
  const std::string filled =
      fillMacros(url, withConsentStrings(options_.macros ? options_.macros() : MacroValues{}));
  // The limit is the transfer's own, on the real clock: a host's clock may run faster.
  HttpClient::shared().fetchText(
      filled, options_.requestTimeoutSeconds,
      [weak = weak_from_this(), url](std::optional<std::string> body,
                                     std::optional<HttpError> error) {
        auto self = weak.lock();
        if (!self || !self->done_) return;
        if (error) {
          self->fail(
              VastError::wrapperTimeout,
              "the VAST document at " + url + " is unavailable: " + error->localizedDescription);
          return;
        }
        self->read(*body);
      });
}

void Chain::read(const std::string& xml) {
  if (!done_) return;
  const ParseResult result = parse(xml);
  append(merged_.errorUrls, result.errorUrls);
  if (!result.document) {
    fail(result.error.value_or(VastError::xmlParse), result.message);
    return;
  }
  const Document& document = *result.document;
  const Ad* ad = pick(document);
  if (!ad) {
    if (result.errorUrls.empty()) append(merged_.errorUrls, document.errors);
    fail(VastError::noAdAfterWrappers, depth_ > 0
                                           ? "no ad after " + std::to_string(depth_) + " wrapper(s)"
                                           : std::string("the VAST document holds no ad"));
    return;
  }
  append(merged_.errorUrls, ad->errors);
  if (!ad->isWrapper) {
    takeInline(*ad);
    return;
  }
  const std::string next(trimmed(ad->adTagUri));
  if (!followWrappers_) {
    fail(VastError::wrapper, "a wrapper where the wrapper before forbids more wrappers");
  } else if (depth_ + 1 > options_.maxWrapperDepth) {
    fail(VastError::wrapperLimit,
         "more than " + std::to_string(options_.maxWrapperDepth) + " wrappers");
  } else if (next.empty()) {
    fail(VastError::wrapper, "a wrapper without a VASTAdTagURI");
  } else if (!visited_.insert(next).second) {
    fail(VastError::wrapper, "a wrapper loop: " + next + " is already in the chain");
  } else {
    mergeWrapper(*ad);
    followWrappers_ = ad->followAdditionalWrappers;
    allowMultipleAds_ = ad->allowMultipleAds;
    ++depth_;
    fetch(next);
  }
}

const Ad* Chain::pick(const Document& document) const {
  const auto& ads = document.ads;
  // A wrapper that allows no pods gets the first stand-alone ad.
  if (!allowMultipleAds_) {
    const auto alone =
        std::find_if(ads.begin(), ads.end(), [](const Ad& ad) { return !ad.sequence; });
    return alone == ads.end() ? nullptr : &*alone;
  }
  if (ads.empty()) return nullptr;
  if (!ads.front().sequence) return &ads.front();
  // A pod: only its first ad is played.
  const Ad* first = nullptr;
  for (const auto& ad : ads)
    if (ad.sequence && (!first || *ad.sequence < *first->sequence)) first = &ad;
  return first;
}

void Chain::mergeWrapper(const Ad& wrapper) {
  append(merged_.impressions, wrapper.impressions);
  append(merged_.verifications, wrapper.verifications);
  for (const auto& linear : wrapper.linears) {
    append(merged_.linear.trackingEvents, linear.trackingEvents);
    append(merged_.linear.clickTracking, linear.clickTracking);
    // Nearer the inline ad wins: a later wrapper's address replaces an earlier one's.
    if (!trimmed(linear.clickThrough).empty())
      merged_.clickThrough = std::string(trimmed(linear.clickThrough));
  }
}

void Chain::takeInline(const Ad& ad) {
  if (ad.linears.empty()) {
    fail(VastError::linear, "the inline ad has no linear creative");
    return;
  }
  const Linear* chosen = nullptr;
  std::optional<MediaFile> media;
  std::size_t files = 0;
  for (const auto& linear : ad.linears) {
    files += linear.mediaFiles.size();
    if ((media = chooseMediaFile(linear.mediaFiles, options_.media))) {
      chosen = &linear;
      break;
    }
  }
  if (!chosen) {
    fail(VastError::noSupportedMedia,
         "none of the " + std::to_string(files) + " media files can be played here");
    return;
  }
  if (!chosen->duration || *chosen->duration <= 0) {
    fail(VastError::schema, "the linear creative has no valid Duration");
    return;
  }
  ResolvedAd resolved = std::move(merged_);
  auto wrapperTracking = std::move(resolved.linear.trackingEvents);
  auto wrapperClicks = std::move(resolved.linear.clickTracking);
  resolved.linear = *chosen;
  resolved.linear.trackingEvents.insert(resolved.linear.trackingEvents.begin(),
                                        wrapperTracking.begin(), wrapperTracking.end());
  resolved.linear.clickTracking.insert(resolved.linear.clickTracking.begin(), wrapperClicks.begin(),
                                       wrapperClicks.end());
  if (!trimmed(chosen->clickThrough).empty())
    resolved.clickThrough = std::string(trimmed(chosen->clickThrough));
  resolved.media = *media;
  append(resolved.impressions, ad.impressions);
  append(resolved.verifications, ad.verifications);
  resolved.companions = ad.companions;
  finish(std::move(resolved), std::nullopt);
}

void Chain::fail(VastError code, const std::string& message) {
  finish(std::nullopt, ChainFailure{code, message, merged_.errorUrls});
}

void Chain::finish(std::optional<ResolvedAd> ad, std::optional<ChainFailure> failure) {
  if (!done_) return;
  auto done = std::move(done_);
  cancel();
  done(std::move(ad), std::move(failure));
}

}  // namespace zelvora::vast
