#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zelvora/Json.h"

namespace httplib {
class Server;
}

namespace zelvora::server {

/// One request that reached a beacon path ("/t/...").
struct BeaconRecord {
  std::string method;
  /// Path and query, as requested.
  std::string target;
};

/// One request the server received, in the order they arrived.
struct ServedRequest {
  std::string method;
  /// Path and query, as requested.
  std::string target;
  /// The client's port: requests that share it came over one connection.
  int remotePort = 0;
};

/// One request that reached the getPlacements endpoint.
struct PlacementsRequest {
  JSON body;
  bool signatureValid = false;
};

struct ServerOptions {
  std::string host = "127.0.0.1";
  /// 0 picks a free port.
  int port = 0;
  /// The campaigns document: {"apps": {"<app id>": {"placements": ...}}}. Every "{server}"
  /// inside its strings becomes the server's base URL in answers.
  JSON campaigns = JSON::object();
  /// Served under "/assets/", the asset base URL announced to the SDK. Empty: none.
  std::filesystem::path assetDirectory;
  /// Its files are served as VAST documents under "/vast/<name>". Empty: none.
  std::filesystem::path vastDirectory;
  /// The longest wait a "/vast/" request's "delay" parameter may ask for.
  double vastDelayLimitSeconds = 30;
  /// Both set: serve HTTPS with this PEM certificate and key.
  std::filesystem::path certificateFile;
  std::filesystem::path privateKeyFile;
  /// Above 0: the files under "/assets/" are sent at most this many bytes per second, all
  /// connections together, as through one slow link.
  double assetBytesPerSecond = 0;
  /// Receives the server's log lines (from its worker threads); empty: standard error, each
  /// line prefixed with "zelvora-adserver: ".
  std::function<void(const std::string&)> log;
};

/// The reference ad server. POST "/srv" checks the request's signature and answers
/// getPlacements from the campaigns (an unknown app gets no placements and a log line naming the
/// known app ids, a bad signature HTTP 403); "/assets/" serves static files ("/refused/<n>/<name>"
/// an asset after refusing it n times); GET "/vast/<name>" serves a VAST document with "{server}"
/// and "{ad}" (its "ad" parameter) filled in, after "delay" seconds when asked; every request under
/// "/t/" is recorded as a beacon, and GET
/// "/debug/beacons" and "/debug/requests" show the records as JSON.
class ReferenceServer {
 public:
  /// The signature member's name and the salt agreed with the SDK.
  static constexpr const char* signatureMember = "zvs";
  static constexpr const char* salt = "qmx407";

  explicit ReferenceServer(ServerOptions options);
  ~ReferenceServer();
  ReferenceServer(const ReferenceServer&) = delete;
  ReferenceServer& operator=(const ReferenceServer&) = delete;

  /// Reads a campaigns file; throws std::runtime_error with the reason when it cannot.
  static JSON loadCampaigns(const std::filesystem::path& file);

  /// Binds and starts serving on a thread of its own; returns the port. Throws
  /// std::runtime_error when the address cannot be bound.
  int start();
  void stop();
  /// Blocks serving on the calling thread until `stop()`.
  void listen();

  int port() const { return port_; }
  /// "http://host:port" (or https).
  std::string baseUrl() const;
  /// The getPlacements endpoint: baseUrl() + "/srv".
  std::string endpointUrl() const { return baseUrl() + "/srv"; }

  /// Handles one raw HTTP/1.1 request in memory, as a connection would (the server need not
  /// be started), and returns the raw response: what a client on a socket would have read.
  std::string respond(const std::string& request);

  std::vector<BeaconRecord> beacons() const;
  std::vector<PlacementsRequest> placementsRequests() const;
  /// Every request received so far, in the order of arrival.
  std::vector<ServedRequest> served() const;
  /// While on, every file ("/assets/", "/refused/") is answered HTTP 503, as by a file host
  /// that is down; the other routes answer as usual, and "/refused/" counts no refusal.
  void refuseFiles(bool refused);

 private:
  void bind();
  void installRoutes();
  void installThrottledAssets();
  void installVastDocuments();
  /// GET "/refused/<n>/<name>": HTTP 503 for the first n requests of that path, then the asset.
  void installRefusingAssets();
  /// Sleeps `seconds` (at most the option's limit), or less when the server stops.
  void delay(double seconds);
  JSON answer(const JSON& request, int& status);
  void log(const std::string& line) const;
  JSON substituted(const JSON& value) const;

  ServerOptions options_;
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  int port_ = 0;

  mutable std::mutex mutex_;
  /// Wakes delayed answers when the server stops, so that stop() need not wait for them.
  std::condition_variable stopping_;
  bool stopped_ = false;
  std::vector<BeaconRecord> beacons_;
  std::vector<PlacementsRequest> requests_;
  std::vector<ServedRequest> served_;
  std::map<std::string, int> refusals_;
  bool filesRefused_ = false;
};

}  // namespace zelvora::server
