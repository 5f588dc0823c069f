#include "zelvora/platform/Device.h"

#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform {

std::string device::systemVersion() {
  return hostEnvironment().systemVersion;
}
std::string device::model() {
  return hostEnvironment().model;
}

Rect screen::bounds() {
  const auto& env = hostEnvironment();
  // Screen coordinates follow the interface orientation.
  if (isLandscape(Application::shared().statusBarOrientation()))
    return {0, 0, env.screenHeight, env.screenWidth};
  return {0, 0, env.screenWidth, env.screenHeight};
}

bool location::servicesEnabled() {
  return hostEnvironment().locationServicesEnabled;
}
std::optional<Location> location::lastKnownLocation() {
  return hostEnvironment().lastKnownLocation;
}
AuthorizationStatus location::authorizationStatus() {
  return hostEnvironment().locationAuthorization;
}
AuthorizationStatus calendar::authorizationStatus() {
  return hostEnvironment().calendarAuthorization;
}
AuthorizationStatus photoLibrary::authorizationStatus() {
  return hostEnvironment().photoLibraryAuthorization;
}

std::string advertising::identifier() {
  return hostEnvironment().advertisingIdentifier;
}
std::optional<std::string> bundle::identifier() {
  return hostEnvironment().bundleIdentifier;
}

}  // namespace zelvora::platform
