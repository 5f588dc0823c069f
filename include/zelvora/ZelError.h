#pragma once

namespace zelvora {

/// Why initialisation failed, an ad could not be loaded or shown, or a placement has no ad to
/// show. The values are stable: the C API passes them on as they are.
enum class ZelError : int {
  none = 0,
  // Initialisation.
  /// The request did not reach the server or its answer did not come back (connection, name
  /// resolution, a refused redirect, an answer over its size limit).
  network = 100,
  /// The server's certificate could not be verified.
  tls = 101,
  /// No progress within the time-out, or the request outlasted its deadline.
  timedOut = 102,
  /// The answer is not JSON.
  invalidAnswer = 103,
  /// The answer holds no placements ("No ads available").
  noAds = 104,
  // Showing an ad.
  /// The creative has nothing to show: no fill, or no markup.
  noFill = 200,
  /// The view controller to present over is not on screen, or is being dismissed.
  presenterNotOnScreen = 201,
  /// The window the ad would show in is hidden or minimised.
  windowNotVisible = 202,
  /// Another ad is on screen.
  anotherAdOnScreen = 203,
  /// The creative closed itself before it appeared.
  creativeClosed = 204,
  /// The ad's screen was taken away before it appeared.
  interrupted = 205,
  /// Too soon after the last ad (`AdSettings::minimumSecondsBetweenAds`).
  tooSoon = 206,
  /// The placement's ad is not ready: still loading, loading again, or none could be loaded.
  notReady = 207,
  /// The creative's page did not answer in time, or its web process ended, while the ad was
  /// being shown.
  pageUnresponsive = 208,
  // Loading an ad (`onAdFailedToLoadWithReason`). Passing ones are tried again after a while;
  // the others move the placement on to its next ad.
  /// A file did not arrive: the connection, a time-out, a server error (passing).
  downloadFailed = 300,
  /// The server refused the file: a client error status such as 404 (not passing).
  fileRefused = 301,
  /// The file is larger than its kind may be.
  fileTooLarge = 302,
  /// The file is not of the kind the ad needs (not an image, not a video), or does not decode.
  wrongKind = 303,
  /// The creative gave up while it loaded (MRAID fallback or close).
  creativeGaveUp = 304,
  /// The creative's page did not load (passing: its web process may have gone).
  pageDidNotLoad = 305,
  /// The ad's data lacks what it needs (no video address, no markup, no creative).
  invalidAd = 306,
  /// The ad waited longer than its time to live; it is loaded afresh.
  expired = 307,
  /// Run in a web process of its own, the creative's page stopped answering, went over the
  /// memory limit or crashed the process (`platform::WebContentLimits`).
  creativeMisbehaved = 308,
  // A VAST ad that cannot be played (`onNoAds`): 1000 + the VAST standard's error code.
  vastXmlParse = 1100,
  vastSchema = 1101,
  vastVersion = 1102,
  vastWrapper = 1300,
  /// A VAST document did not arrive in time, or not at all.
  vastWrapperTimeout = 1301,
  vastWrapperLimit = 1302,
  /// No ad in the VAST answer, after wrappers or at once.
  vastNoAd = 1303,
  /// No linear creative.
  vastLinear = 1400,
  vastFileNotFound = 1401,
  vastMediaTimeout = 1402,
  vastNoSupportedMedia = 1403,
  vastCannotPlay = 1405,
  vastUndefined = 1900,
};

}  // namespace zelvora
