#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelvora::vast {

/// What the macros of a tracking or tag URL are filled with. Absent values are written as the
/// VAST specification asks for a value not known: "-1".
struct MacroValues {
  /// [ERRORCODE]
  std::optional<int> errorCode;
  /// [CONTENTPLAYHEAD] and [ADPLAYHEAD], in seconds: written "HH:MM:SS.mmm".
  std::optional<double> playheadSeconds;
  /// [ASSETURI]: the media file being played.
  std::string assetUri;
  /// [REASON]: why a verification was not executed (VAST's codes: 1 not supported, ...).
  std::optional<int> reason;
  /// [LIMITADTRACKING]: 1 when the user limited ad tracking, else 0.
  bool limitAdTracking = false;
  /// [GDPRCONSENT]: the TC string; empty: not known.
  std::string gdprConsent;
  /// [GPP_STRING], and [GPP_SID] with the ids comma-separated; empty: not known.
  std::string gppString;
  std::vector<int> gppSectionIds;
  /// [TIMESTAMP]: seconds since 1970, written ISO 8601 with milliseconds in UTC.
  std::optional<double> timestampSeconds;
  /// [CACHEBUSTING]: a random 8-digit number, the same for one request; empty: a new one.
  std::string cacheBusting;
};

/// A random 8-digit number for [CACHEBUSTING], its first digit not 0.
std::string newCacheBuster();

/// `values` with the consent strings the host set (ZelController::setConsentStrings) where
/// it has none of its own.
MacroValues withConsentStrings(MacroValues values);

/// `url` with every known macro replaced by its value, percent-encoded (RFC 3986 unreserved
/// characters stay as they are). Macros are written "[NAME]"; names this client does not know
/// are left as written.
std::string fillMacros(const std::string& url, const MacroValues& values);

}  // namespace zelvora::vast
