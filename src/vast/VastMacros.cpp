#include "vast/VastMacros.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string_view>

#include "ControllerAccess.h"
#include "consent/ConsentManager.h"
#include "net/Url.h"

namespace zelvora::vast {
namespace {

constexpr const char* kUnknown = "-1";

// Whole milliseconds, or none for what no clock shows (negative, not finite, past year 9999).
std::optional<long long> milliseconds(std::optional<double> seconds) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds >= 253402300800.0)
    return std::nullopt;
  return std::llround(*seconds * 1000);
}

std::string playhead(std::optional<double> seconds) {
  const auto ms = milliseconds(seconds);
  if (!ms) return kUnknown;
  char text[96];  // room for any int the format could be given
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", *ms / 3600000, *ms / 60000 % 60,
                *ms / 1000 % 60, *ms % 1000);
  return text;
}

std::string isoTime(std::optional<double> seconds) {
  const auto ms = milliseconds(seconds);
  if (!ms) return kUnknown;
  const std::time_t whole = static_cast<std::time_t>(*ms / 1000);
  std::tm utc{};
  if (!gmtime_r(&whole, &utc)) return kUnknown;
  char text[96];  // room for any int the format could be given
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(*ms % 1000));
  return text;
}

std::string numberOrUnknown(std::optional<int> value) {
  return value ? std::to_string(*value) : kUnknown;
}

std::string textOrUnknown(const std::string& value) {
  return value.empty() ? kUnknown : value;
}

std::string commaSeparated(const std::vector<int>& ids) {
  std::string text;
  for (const int id : ids) text += (text.empty() ? "" : ",") + std::to_string(id);
  return text;
}

// The value of macro `name`, not yet encoded; none for a name this client does not know.
std::optional<std::string> valueOf(std::string_view name, const MacroValues& values,
                                   std::string& cacheBuster) {
  if (name == "ERRORCODE") return numberOrUnknown(values.errorCode);
  if (name == "CONTENTPLAYHEAD" || name == "ADPLAYHEAD") return playhead(values.playheadSeconds);
  if (name == "ASSETURI") return textOrUnknown(values.assetUri);
  if (name == "REASON") return numberOrUnknown(values.reason);
  if (name == "LIMITADTRACKING") return values.limitAdTracking ? "1" : "0";
  if (name == "GDPRCONSENT") return textOrUnknown(values.gdprConsent);
  if (name == "GPP_STRING") return textOrUnknown(values.gppString);
  if (name == "GPP_SID") return textOrUnknown(commaSeparated(values.gppSectionIds));
  if (name == "TIMESTAMP") return isoTime(values.timestampSeconds);
  if (name == "CACHEBUSTING") {
    if (cacheBuster.empty()) cacheBuster = newCacheBuster();
    return cacheBuster;
  }
  return std::nullopt;
}

}  // namespace

std::string newCacheBuster() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::to_string(std::uniform_int_distribution<int>(10000000, 99999999)(generator));
}

MacroValues withConsentStrings(MacroValues values) {
  const ConsentStrings& strings = internal::ControllerAccess::consentManager().strings();
  if (values.gdprConsent.empty()) values.gdprConsent = strings.tcfString;
  if (values.gppString.empty()) {
    values.gppString = strings.gppString;
    values.gppSectionIds = strings.gppSectionIds;
  }
  return values;
}

std::string fillMacros(const std::string& url, const MacroValues& values) {
  std::string cacheBuster = values.cacheBusting;
  std::string filled;
  std::size_t copied = 0;
  // A name holds no bracket: the bracket after a "[" either closes its name or starts over
  // there, so each byte is looked at once however many brackets the URL holds.
  auto open = url.find('[');
  while (open != std::string::npos) {
    const auto next = url.find_first_of("[]", open + 1);
    if (next == std::string::npos) break;
    if (url[next] == '[') {
      open = next;
      continue;
    }
    const auto name = std::string_view(url).substr(open + 1, next - open - 1);
    if (const auto value = valueOf(name, values, cacheBuster)) {
      filled.append(url, copied, open - copied);
      filled += percentEncoded(*value);
      copied = next + 1;
    }
    open = url.find('[', next + 1);
  }
  filled.append(url, copied);
  return filled;
}

}  // namespace zelvora::vast
