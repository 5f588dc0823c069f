#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/HttpClient.h"
#include "zelvora/Json.h"

namespace zelvora {

/// The SDK's conversation with the ad server: the signed getPlacements request, and the
/// fire-and-forget GET of tracking beacons.
class RESTClient {
 public:
  using CompletionHandler =
      std::function<void(std::optional<JSON> json, std::optional<HttpError> error)>;

  /// The SDK's own endpoint, used unless a host or $ZELVORA_SERVER_URL names another.
  static constexpr const char* defaultUrl = "https://ads.zelvora.net/srv";
  /// Appended to the payload's JSON text before hashing.
  static constexpr const char* salt = "qmx407";

  RESTClient();

  /// The endpoint requests go to.
  static std::string url();
  /// Overrides the endpoint; empty restores $ZELVORA_SERVER_URL or the default.
  static void setUrl(const std::string& url);

  /// Exactly one of json and error reaches `completionHandler`, once, on the main thread.
  void getPlacements(const std::string& appId, CompletionHandler completionHandler);
  /// One GET of `url`, when present; the answer is ignored. Every tracking request of the SDK
  /// goes through here: in test mode it is logged instead of sent.
  static void callBeacon(const std::optional<std::string>& url);

  /// The name of the body's signature member.
  static std::string signatureMemberName();
  /// The request body for `payload`: the payload enriched with consent, device, geo, SDK
  /// version and package name, under "data", beside its signature. Clears the consent's
  /// change mark.
  JSON getSignedRequest(JSON payload);

 private:
  void makeCall(JSON payload, CompletionHandler completionHandler);

  HttpClient& urlSessionManager;
};

}  // namespace zelvora
