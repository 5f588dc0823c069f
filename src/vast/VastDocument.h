#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvora::vast {

/// The error codes of the VAST specification that this client reports. The values are the
/// specification's: they go into [ERRORCODE] of the documents' error URLs as they are.
enum class VastError : int {
  xmlParse = 100,
  schema = 101,
  version = 102,
  wrapper = 300,
  wrapperTimeout = 301,
  wrapperLimit = 302,
  noAdAfterWrappers = 303,
  linear = 400,
  fileNotFound = 401,
  mediaTimeout = 402,
  noSupportedMedia = 403,
  cannotPlay = 405,
  undefined = 900,
};

/// One <Tracking> of a linear creative (or the <Tracking event="creativeView"> of a companion).
struct TrackingEvent {
  /// The "event" attribute as written: "start", "firstQuartile", "progress", ...
  std::string event;
  std::string url;
  /// The "offset" attribute of a "progress" event, as written ("00:00:05.000" or "25%");
  /// empty when absent.
  std::string offset;
};

/// One <MediaFile> of a linear creative.
struct MediaFile {
  std::string url;
  /// "progressive" or "streaming".
  std::string delivery;
  /// The MIME type, e.g. "video/mp4".
  std::string type;
  int width = 0;
  int height = 0;
  /// Kilobits a second; 0 when not given. `minBitrate`/`maxBitrate` of streaming files too.
  int bitrate = 0;
  int minBitrate = 0;
  int maxBitrate = 0;
  /// "VPAID" and the like: files that need an API are not played.
  std::string apiFramework;
};

/// A resource of an icon or a companion: one of the three kinds is set.
struct Resource {
  /// <StaticResource>: the URL of an image.
  std::string staticUrl;
  /// Its "creativeType", e.g. "image/png".
  std::string creativeType;
  /// <HTMLResource>: markup.
  std::string html;
  /// <IFrameResource>: the URL of a page.
  std::string iframeUrl;

  bool empty() const { return staticUrl.empty() && html.empty() && iframeUrl.empty(); }
};

/// One <Icon> of a linear creative (e.g. the privacy icon).
struct Icon {
  int width = 0;
  int height = 0;
  /// "left", "right" or a number of pixels from the left, as written ("top"/"bottom" for y).
  std::string xPosition;
  std::string yPosition;
  /// When the icon appears and how long it stays, as written ("HH:MM:SS(.mmm)"); empty when
  /// absent (from the start; for the whole video).
  std::string offset;
  std::string duration;
  Resource resource;
  std::string clickThrough;
  std::vector<std::string> clickTracking;
  std::vector<std::string> viewTracking;
};

/// One <Companion> of a <CompanionAds>.
struct Companion {
  int width = 0;
  int height = 0;
  Resource resource;
  std::string clickThrough;
  std::vector<std::string> clickTracking;
  /// Its <TrackingEvents>, of which only "creativeView" is used.
  std::vector<TrackingEvent> trackingEvents;
};

/// One <Linear> creative. In a wrapper it holds only trackers (no media files).
struct Linear {
  /// <Duration> in seconds; none when absent or not a time code.
  std::optional<double> duration;
  /// The "skipoffset" attribute as written ("00:00:05" or "25%"); empty: not skippable.
  std::string skipOffset;
  std::vector<MediaFile> mediaFiles;
  std::vector<TrackingEvent> trackingEvents;
  std::string clickThrough;
  std::vector<std::string> clickTracking;
  std::vector<Icon> icons;
};

/// One <Verification> of <AdVerifications>: never executed, only reported.
struct Verification {
  std::string vendor;
  /// Its <Tracking event="verificationNotExecuted"> URLs.
  std::vector<std::string> notExecutedUrls;
};

/// One <Ad>: an <InLine> or a <Wrapper>.
struct Ad {
  std::string id;
  /// The "sequence" attribute: the ad's place in a pod; none for a stand-alone ad (or one
  /// whose sequence is not a whole number).
  std::optional<int> sequence;
  bool isWrapper = false;
  /// A wrapper's <VASTAdTagURI>.
  std::string adTagUri;
  /// A wrapper's attributes (VAST 4 defaults: true, false).
  bool followAdditionalWrappers = true;
  bool allowMultipleAds = false;
  std::vector<std::string> impressions;
  std::vector<std::string> errors;
  /// Every <Linear>, in creative order.
  std::vector<Linear> linears;
  /// Every <Companion>, in order, of every <CompanionAds>.
  std::vector<Companion> companions;
  std::vector<Verification> verifications;
};

/// One VAST document.
struct Document {
  /// The root's "version" attribute, e.g. "4.2".
  std::string version;
  /// In document order.
  std::vector<Ad> ads;
  /// <Error> URLs directly under <VAST>: the error of an answer without ads.
  std::vector<std::string> errors;
};

struct ParseLimits {
  /// Larger documents are refused (error 100) before parsing.
  std::size_t maxBytes = 1 << 20;
  /// Elements nested deeper are refused (error 100); the root is at depth 1.
  int maxDepth = 32;
};

/// The outcome of parsing: a document, or the error to report with a line saying why. A
/// document may carry `errors` even when it failed (the root's <Error> of a document that
/// parsed but was refused), so they can still be told.
struct ParseResult {
  std::optional<Document> document;
  std::optional<VastError> error;
  std::string message;
  /// The root's <Error> URLs, also when `document` is none but the XML was read.
  std::vector<std::string> errorUrls;
};

/// Parses one VAST 2.0, 3.0 or 4.x document with libxml2. Never loads anything from the
/// network or the file system: a document with a DTD (<!DOCTYPE>) or an entity declaration is
/// refused (100), as are documents over the size or depth limits. A root other than <VAST> or
/// an <Ad> with neither <InLine> nor <Wrapper> is a schema error (101); a version that is not
/// 2.x, 3.x or 4.x is 102. Text is trimmed (CDATA included); URLs are kept as written.
ParseResult parse(std::string_view xml, const ParseLimits& limits = {});

/// "HH:MM:SS" or "HH:MM:SS.mmm" in seconds; none for anything else.
std::optional<double> parseTimecode(std::string_view text);
/// An offset as "HH:MM:SS(.mmm)" or "n%" of `duration`, in seconds; none for anything else.
std::optional<double> parseOffset(std::string_view text, double duration);

}  // namespace zelvora::vast
