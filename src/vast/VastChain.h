#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vast/MediaSelection.h"
#include "vast/VastDocument.h"
#include "vast/VastMacros.h"

namespace zelvora::vast {

/// A chain of wrappers with its inline ad, taken together: what is played and every tracker of
/// every document of the chain, the outermost first.
struct ResolvedAd {
  /// The linear creative played, with the trackers of every document merged into it.
  Linear linear;
  MediaFile media;
  /// The ClickThrough nearest the inline ad (a wrapper's only when the inline ad has none).
  std::string clickThrough;
  std::vector<std::string> impressions;
  std::vector<std::string> errorUrls;
  /// The inline ad's companions, for an end card.
  std::vector<Companion> companions;
  /// Every document's verifications: never executed, reported as such.
  std::vector<Verification> verifications;
};

/// Why a chain gave no playable ad, with the error URLs of every document read so far.
struct ChainFailure {
  VastError code = VastError::undefined;
  std::string message;
  std::vector<std::string> errorUrls;
};

struct ChainOptions {
  int maxWrapperDepth = 5;
  double requestTimeoutSeconds = 5;
  MediaChoice media;
  /// The macro values for the tag URLs fetched (a new cache buster each).
  std::function<MacroValues()> macros;
};

/// Follows a VAST tag (or reads a document at hand) through its wrappers to the inline ad and
/// chooses what to play. Each document is fetched with its own time limit; a wrapper is
/// followed only while within the depth limit, while the wrapper before allows it
/// (`followAdditionalWrappers`), and to an address not already in the chain (a loop). Of a
/// document the first ad is taken, or the first of a pod (lowest "sequence"); a wrapper that
/// does not `allowMultipleAds` takes only a stand-alone ad of the document it asks for. Of the
/// inline ad, the first linear creative with a media file this player can play.
class Chain : public std::enable_shared_from_this<Chain> {
 public:
  using Done = std::function<void(std::optional<ResolvedAd>, std::optional<ChainFailure>)>;

  /// Starts from the tag at `tagUrl`; `done` runs once, on the main queue, never inside.
  static std::shared_ptr<Chain> fromTag(const std::string& tagUrl, ChainOptions options, Done done);
  /// Starts from a document at hand.
  static std::shared_ptr<Chain> fromDocument(const std::string& xml, ChainOptions options,
                                             Done done);
  /// Drops the outcome: `done` is not called.
  void cancel();

 private:
  Chain(ChainOptions options, Done done) : options_(std::move(options)), done_(std::move(done)) {}

  void fetch(const std::string& url);
  void read(const std::string& xml);
  void fail(VastError code, const std::string& message);
  void finish(std::optional<ResolvedAd> ad, std::optional<ChainFailure> failure);
  /// The ad of `document` this chain goes on with; none when it holds no ad it may take.
  const Ad* pick(const Document& document) const;
  void takeInline(const Ad& ad);
  void mergeWrapper(const Ad& wrapper);

  ChainOptions options_;
  Done done_;
  int depth_ = 0;
  bool allowMultipleAds_ = true;
  bool followWrappers_ = true;
  std::set<std::string> visited_;
  /// What the wrappers read so far add to the inline ad.
  ResolvedAd merged_;
};

}  // namespace zelvora::vast
