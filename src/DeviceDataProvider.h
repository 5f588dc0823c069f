#pragma once

#include "zelvora/Json.h"

namespace zelvora {

/// Describes the device to the ad server; computed afresh for every request.
struct DeviceDataProvider {
  /// "os", "osver", "model", "make", "w", "h": all strings.
  static JSON getDeviceHardwareData();
  /// "lat" and "lng" in whole degrees (truncated), or empty strings without a location.
  static JSON getDeviceGeoData();
};

}  // namespace zelvora
