#include "DeviceDataProvider.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "zelvora/platform/Device.h"

namespace zelvora {
namespace {
/// Decimal text of `value` truncated toward zero; "0" for values no integer can hold.
std::string truncatedText(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return "0";
  return std::to_string(static_cast<std::int64_t>(value));
}
}  // namespace

JSON DeviceDataProvider::getDeviceHardwareData() {
  const platform::Rect bounds = platform::screen::bounds();
  JSON object = JSON::object();
  object["os"] = "ios";
  object["osver"] = platform::device::systemVersion();
  object["model"] = platform::device::model();
  object["make"] = "Apple";
  object["w"] = truncatedText(bounds.width);
  object["h"] = truncatedText(bounds.height);
  return object;
}

JSON DeviceDataProvider::getDeviceGeoData() {
  JSON object = JSON::object();
  object["lat"] = "";
  object["lng"] = "";
  if (platform::location::servicesEnabled()) {
    if (auto location = platform::location::lastKnownLocation()) {
      object["lat"] = truncatedText(location->latitude);
      object["lng"] = truncatedText(location->longitude);
    }
  }
  return object;
}

}  // namespace zelvora
