#include "ServerRecords.h"

#include <httplib.h>

#include <cstdlib>

namespace demo {
namespace {
using zelvora::JSON;

constexpr time_t timeoutSeconds = 3;

/// "http://host:port" of "http://host:port/path".
std::string originOf(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const auto path = url.find('/', scheme + 3);
  return path == std::string::npos ? url : url.substr(0, path);
}

std::string pathOf(const std::string& url) {
  const auto origin = originOf(url);
  return url.size() > origin.size() ? url.substr(origin.size()) : "/";
}

httplib::Client clientFor(const std::string& origin) {
  httplib::Client client(origin);
  client.set_connection_timeout(timeoutSeconds);
  client.set_read_timeout(timeoutSeconds);
  // The CA the SDK is told to trust, for a server with a certificate of its own.
  if (const char* caFile = std::getenv("ZELVORA_CA_FILE")) client.set_ca_cert_path(caFile);
  return client;
}
}  // namespace

ServerRecords::ServerRecords(const zelvora::server::ReferenceServer& server)
    : server_(&server),
      endpoint_(server.endpointUrl()),
      origin_(server.baseUrl()),
      earlier_(server.beacons().size()) {}

ServerRecords::ServerRecords(const std::string& endpoint)
    : endpoint_(endpoint), origin_(originOf(endpoint)) {
  if (const auto list = get("/debug/beacons"); list && list->is_array()) earlier_ = list->size();
}

std::optional<JSON> ServerRecords::get(const std::string& path) const {
  auto client = clientFor(origin_);
  const auto response = client.Get(path.c_str());
  if (!response || response->status != 200) return std::nullopt;
  JSON body = JSON::parse(response->body, nullptr, false);
  if (body.is_discarded()) return std::nullopt;
  return body;
}

std::optional<std::vector<std::string>> ServerRecords::beacons() const {
  std::vector<std::string> targets;
  if (server_) {
    for (const auto& beacon : server_->beacons()) targets.push_back(beacon.target);
  } else {
    const auto list = get("/debug/beacons");
    if (!list || !list->is_array()) return std::nullopt;
    for (const auto& beacon : *list) {
      if (beacon.is_object() && beacon.contains("target") && beacon["target"].is_string())
        targets.push_back(beacon["target"].get<std::string>());
    }
  }
  if (targets.size() < earlier_) return std::nullopt;  // the server was restarted meanwhile
  targets.erase(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(earlier_));
  return targets;
}

std::optional<std::vector<std::string>> ServerRecords::settledBeacons(Stage& stage) const {
  auto latest = beacons();
  // Unseen, they still get their second to leave before the program ends.
  if (!latest) stage.backend().mainQueue().runUntil([] { return false; }, 1.0);
  // Settled after two quiet seconds in a row: on a loaded machine a beacon can take more than
  // one to arrive.
  for (int quiet = 0; latest && quiet < 2;) {
    stage.backend().mainQueue().runUntil([] { return false; }, 1.0);
    auto next = beacons();
    if (!next) return next;
    quiet = next->size() == latest->size() ? quiet + 1 : 0;
    latest = std::move(next);
  }
  return latest;
}

std::optional<JSON> ServerRecords::answeredPlacements(const std::string& appId) const {
  const auto requests = get("/debug/requests");
  if (!requests || !requests->is_array()) return std::nullopt;
  // The SDK's latest request for the app: posting it again gets the same answer.
  for (auto request = requests->rbegin(); request != requests->rend(); ++request) {
    const JSON& body = request->value("body", JSON::object());
    if (request->value("signatureValid", false) != true || !body.contains("data") ||
        body["data"].value("app", "") != appId)
      continue;
    auto client = clientFor(origin_);
    const auto response = client.Post(pathOf(endpoint_).c_str(), body.dump(), "application/json");
    if (!response || response->status != 200) return std::nullopt;
    const JSON answer = JSON::parse(response->body, nullptr, false);
    if (!answer.is_object() || !answer.contains("data") || !answer["data"].is_object() ||
        !answer["data"].contains("placements"))
      return std::nullopt;
    return answer["data"]["placements"];
  }
  return std::nullopt;
}

}  // namespace demo
