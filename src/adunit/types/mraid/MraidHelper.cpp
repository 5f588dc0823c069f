#include "adunit/types/mraid/MraidHelper.h"

#include "zelvora/Json.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {
using platform::AuthorizationStatus;

namespace {
bool isFeatureSupported(const std::string& feature) {
  if (feature == "sms" || feature == "tel")
    return platform::Application::shared().canOpenURL("tel://");
  if (feature == "calendar")
    return platform::calendar::authorizationStatus() == AuthorizationStatus::authorized;
  if (feature == "storePicture")
    return platform::photoLibrary::authorizationStatus() == AuthorizationStatus::authorized;
  if (feature == "inlineVideo") return true;
  if (feature == "location") {
    const auto status = platform::location::authorizationStatus();
    return status == AuthorizationStatus::authorized ||
           status == AuthorizationStatus::authorizedWhenInUse;
  }
  return false;  // "vpaid" and anything unknown
}
}  // namespace

std::string getSupports() {
  JSON supports = JSON::object();
  for (const char* feature :
       {"sms", "tel", "calendar", "storePicture", "inlineVideo", "vpaid", "location"})
    supports[feature] = isFeatureSupported(feature);
  return supports.dump();
}

}  // namespace zelvora
