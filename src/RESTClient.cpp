#include "RESTClient.h"

#include <cstdio>
#include <cstdlib>

#include "ControllerAccess.h"
#include "DeviceDataProvider.h"
#include "consent/ConsentManager.h"
#include "net/JsonReading.h"
#include "net/Md5.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/Device.h"

namespace zelvora {
namespace {
std::string& urlOverride() {
  static std::string url;
  return url;
}
}  // namespace

RESTClient::RESTClient() : urlSessionManager(HttpClient::shared()) {}

std::string RESTClient::url() {
  if (!urlOverride().empty()) return urlOverride();
  if (const char* fromEnvironment = std::getenv("ZELVORA_SERVER_URL");
      fromEnvironment != nullptr && *fromEnvironment != '\0')
    return fromEnvironment;
  return defaultUrl;
}

void RESTClient::setUrl(const std::string& url) {
  urlOverride() = url;
}

void RESTClient::getPlacements(const std::string& appId, CompletionHandler completionHandler) {
  JSON payload = JSON::object();
  payload["action"] = "getPlacements";
  payload["app"] = appId;
  makeCall(std::move(payload), std::move(completionHandler));
}

void RESTClient::makeCall(JSON payload, CompletionHandler completionHandler) {
  const JSON body = getSignedRequest(std::move(payload));
  urlSessionManager.postJson(url(), body,
                             [completionHandler = std::move(completionHandler)](
                                 std::optional<JSON> json, std::optional<HttpError> error) {
                               if (error) {
                                 log(LogLevel::warning, error->localizedDescription);
                                 completionHandler(std::nullopt, std::move(error));
                                 return;
                               }
                               completionHandler(std::move(json), std::nullopt);
                             });
}

std::string RESTClient::signatureMemberName() {
  const auto prefix = [] {
    char text[3];
    std::snprintf(text, sizeof text, "%c%c", 0x7A, 0x76);
    return std::string(text);
  };
  return prefix() + "s";
}

JSON RESTClient::getSignedRequest(JSON payload) {
  JSON device = DeviceDataProvider::getDeviceHardwareData();
  JSON geo = DeviceDataProvider::getDeviceGeoData();
  JSON ids = JSON::object();
  ids["ios_ifa"] = platform::advertising::identifier();
  device["ids"] = std::move(ids);

  auto& controller = ZelController::sharedInstance();
  payload["consent"] = internal::ControllerAccess::consentManager().getAndFlush();
  payload["device"] = std::move(device);
  payload["geo"] = std::move(geo);
  payload["sdkVer"] = controller.sdkVersion();
  const auto bundleIdentifier = platform::bundle::identifier();
  payload["pkgName"] = bundleIdentifier ? JSON(*bundleIdentifier) : JSON(nullptr);

  const std::string text = serialize(payload);
  JSON body = JSON::object();
  body[signatureMemberName()] = md5Hex(text + salt);
  body["data"] = std::move(payload);
  return body;
}

void RESTClient::callBeacon(const std::optional<std::string>& url) {
  if (!url) return;
  if (ZelController::sharedInstance().adSettings().testMode) {
    log(LogLevel::info, "Test mode: tracking request not sent: " + *url);
    return;
  }
  HttpClient::shared().get(*url);
}

}  // namespace zelvora
