#include "zelvora/server/ReferenceServer.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace zelvora::server {
namespace {

std::string md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  std::string text;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}

std::string serialize(const JSON& value) {
  return value.dump(-1, ' ', false, JSON::error_handler_t::replace);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

JSON errorBody(const std::string& message) {
  return JSON{{"error", message}};
}

/// A shared slow link: each chunk sent through it waits for its slot at the link's rate.
class Pacer {
 public:
  explicit Pacer(double bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

  void waitToSend(std::size_t bytes) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point slot;
    {
      std::lock_guard lock(mutex_);
      slot = std::max(Clock::now(), nextFree_);
      nextFree_ = slot + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(bytes / bytesPerSecond_));
    }
    std::this_thread::sleep_until(slot);
  }

 private:
  const double bytesPerSecond_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point nextFree_{};
};

/// `relative` inside `folder`, or nothing when it would leave it or names no plain file.
std::optional<std::filesystem::path> fileInside(const std::filesystem::path& folder,
                                                const std::string& relative) {
  std::filesystem::path path = folder;
  std::size_t start = 0;
  while (start <= relative.size()) {
    const auto end = std::min(relative.find('/', start), relative.size());
    const std::string part = relative.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos ||
        part.find('\0') != std::string::npos)
      return std::nullopt;
    path /= part;
    start = end + 1;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path;
}

bool isIdCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

/// A file of the folder itself, not of a folder below it. fileInside() still refuses "." and "..".
bool isPlainFileName(const std::string& name) {
  return !name.empty() &&
         std::all_of(name.begin(), name.end(), [](char c) { return isIdCharacter(c) || c == '.'; });
}

/// A connection in memory: the request's bytes to read, the response's collected.
class MemoryStream final : public httplib::Stream {
 public:
  explicit MemoryStream(const std::string& request) : request_(request) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const size_t count = std::min(size, request_.size() - offset_);
    request_.copy(ptr, count, offset_);
    offset_ += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* ptr, size_t size) override {
    response.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }

  std::string response;

 private:
  const std::string& request_;
  size_t offset_ = 0;
};

/// httplib handles a connection's requests on a stream in a protected member; a derived class
/// may name it, and so hand it a stream in memory.
struct StreamProcessor : httplib::Server {
  static void process(httplib::Server& server, httplib::Stream& stream) {
    bool closed = false;
    (server.*&StreamProcessor::process_request)(stream, true, closed, nullptr);
  }
};

}  // namespace

ReferenceServer::ReferenceServer(ServerOptions options) : options_(std::move(options)) {
  if (!options_.certificateFile.empty() && !options_.privateKeyFile.empty()) {
    http_ = std::make_unique<httplib::SSLServer>(options_.certificateFile.c_str(),
                                                 options_.privateKeyFile.c_str());
  } else {
    http_ = std::make_unique<httplib::Server>();
  }
  // Without it, small answers on loopback wait for the peer's delayed ACK (about 40 ms).
  http_->set_tcp_nodelay(true);
  // Connections are kept alive for a client's next request. An idle one holds a worker thread
  // until it times out, and stop() waits for it: a short time-out, and workers to spare for a
  // client that keeps a dozen connections.
  http_->set_keep_alive_max_count(1000);
  http_->set_keep_alive_timeout(1);
  http_->new_task_queue = [] { return new httplib::ThreadPool(32); };
  installRoutes();
}

ReferenceServer::~ReferenceServer() {
  stop();
}

JSON ReferenceServer::loadCampaigns(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read campaigns file " + file.string());
  std::stringstream text;
  text << in.rdbuf();
  JSON campaigns = JSON::parse(text.str(), nullptr, false);
  if (!campaigns.is_object() || !campaigns.contains("apps") || !campaigns["apps"].is_object())
    throw std::runtime_error("campaigns file " + file.string() +
                             " is not a JSON object with an \"apps\" object");
  return campaigns;
}

std::string ReferenceServer::baseUrl() const {
  const bool tls = !options_.certificateFile.empty() && !options_.privateKeyFile.empty();
  return std::string(tls ? "https://" : "http://") + options_.host + ":" + std::to_string(port_);
}

void ReferenceServer::bind() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
  }
  if (!http_->is_valid()) throw std::runtime_error("the server could not be set up (TLS files?)");
  // httplib listens with a backlog of 5: past it, the connections of a burst (an SDK fetching a
  // dozen files at once) wait a second for their SYN to be sent again. The listening socket is
  // caught as it is made and given the system's backlog once bound.
  auto listening = std::make_shared<socket_t>(INVALID_SOCKET);
  http_->set_socket_options([listening](socket_t socket) {
    httplib::default_socket_options(socket);
    *listening = socket;
  });
  port_ = options_.port == 0
              ? http_->bind_to_any_port(options_.host.c_str())
              : (http_->bind_to_port(options_.host.c_str(), options_.port) ? options_.port : -1);
  if (port_ > 0 && *listening != INVALID_SOCKET) ::listen(*listening, SOMAXCONN);
  if (port_ <= 0)
    throw std::runtime_error("cannot listen on " + options_.host + ":" +
                             std::to_string(options_.port));
}

int ReferenceServer::start() {
  bind();
  thread_ = std::thread([this] { http_->listen_after_bind(); });
  // stop() only reaches a server that is running: wait until it is.
  while (!http_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port_;
}

void ReferenceServer::listen() {
  bind();
  http_->listen_after_bind();
}

void ReferenceServer::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  stopping_.notify_all();
  http_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string ReferenceServer::respond(const std::string& request) {
  MemoryStream stream(request);
  StreamProcessor::process(*http_, stream);
  return stream.response;
}

std::vector<BeaconRecord> ReferenceServer::beacons() const {
  std::lock_guard lock(mutex_);
  return beacons_;
}

void ReferenceServer::refuseFiles(bool refused) {
  std::lock_guard lock(mutex_);
  filesRefused_ = refused;
}

std::vector<ServedRequest> ReferenceServer::served() const {
  std::lock_guard lock(mutex_);
  return served_;
}

std::vector<PlacementsRequest> ReferenceServer::placementsRequests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

JSON ReferenceServer::substituted(const JSON& value) const {
  if (value.is_string()) {
    std::string text = value.get<std::string>();
    replaceAll(text, "{server}", baseUrl());
    return text;
  }
  if (value.is_structured()) {
    JSON copy = value;
    for (auto& item : copy) item = substituted(item);
    return copy;
  }
  return value;
}

void ReferenceServer::log(const std::string& line) const {
  if (options_.log)
    options_.log(line);
  else
    std::cerr << "zelvora-adserver: " + line + "\n";
}

JSON ReferenceServer::answer(const JSON& request, int& status) {
  const auto signature = request.find(signatureMember);
  const auto data = request.find("data");
  const bool valid = signature != request.end() && signature->is_string() &&
                     data != request.end() && data->is_object() &&
                     *signature == md5Hex(serialize(*data) + salt);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back({request, valid});
  }
  if (!valid) {
    status = 403;
    return errorBody("invalid signature");
  }
  // Compared as JSON: an "action" that is no string is just another unknown action.
  if (const auto action = data->find("action");
      action == data->end() || *action != "getPlacements") {
    status = 400;
    return errorBody("unknown action");
  }
  status = 200;
  const JSON& apps = options_.campaigns["apps"];
  const auto app = data->find("app");
  JSON answerData = JSON::object();
  answerData["assetBaseUrl"] = baseUrl() + "/assets/";
  if (app != data->end() && app->is_string() && apps.contains(app->get<std::string>())) {
    const JSON& campaign = apps[app->get<std::string>()];
    answerData["placements"] = substituted(campaign.value("placements", JSON::object()));
  } else {
    // An app of no campaign has no ads, as a real server would answer it; the line tells the
    // person running the server which app ids it does know.
    answerData["placements"] = JSON::object();
    std::string known;
    for (const auto& [id, campaign] : apps.items())
      known += (known.empty() ? "" : ", ") + serialize(JSON(id));
    log("unknown app id " + (app == data->end() ? std::string("(none)") : serialize(*app)) +
        "; known app ids: " + (known.empty() ? "(none)" : known));
  }
  return JSON{{"data", std::move(answerData)}};
}

void ReferenceServer::installRoutes() {
  if (!options_.campaigns.contains("apps") || !options_.campaigns["apps"].is_object())
    options_.campaigns["apps"] = JSON::object();

  http_->set_pre_routing_handler([this](const httplib::Request& request,
                                        httplib::Response& response) {
    std::lock_guard lock(mutex_);
    served_.push_back({request.method, request.target, request.remote_port});
    const bool file = request.path.starts_with("/assets/") || request.path.starts_with("/refused/");
    if (!file || !filesRefused_) return httplib::Server::HandlerResponse::Unhandled;
    response.status = 503;
    return httplib::Server::HandlerResponse::Handled;
  });

  http_->Post("/srv", [this](const httplib::Request& request, httplib::Response& response) {
    const JSON body = JSON::parse(request.body, nullptr, false);
    int status = 400;
    const JSON reply =
        body.is_object() ? answer(body, status) : errorBody("the body is not a JSON object");
    response.status = status;
    response.set_content(serialize(reply), "application/json");
  });

  const auto recordBeacon = [this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard lock(mutex_);
    beacons_.push_back({request.method, request.target});
    // A click tracker sends the browser on to the landing page; only to a page of this server,
    // so that the server is no open redirector.
    const std::string to = request.get_param_value("to");
    if (to.size() > 1 && to[0] == '/' && to[1] != '/' && to[1] != '\\') {
      response.set_redirect(to, 302);
      return;
    }
    response.status = 204;
  };
  http_->Get(R"(/t/.*)", recordBeacon);
  http_->Post(R"(/t/.*)", recordBeacon);

  http_->Get("/debug/beacons", [this](const httplib::Request&, httplib::Response& response) {
    JSON list = JSON::array();
    for (const auto& beacon : beacons())
      list.push_back({{"method", beacon.method}, {"target", beacon.target}});
    response.set_content(serialize(list), "application/json");
  });
  http_->Get("/debug/requests", [this](const httplib::Request&, httplib::Response& response) {
    JSON list = JSON::array();
    for (const auto& request : placementsRequests())
      list.push_back({{"body", request.body}, {"signatureValid", request.signatureValid}});
    response.set_content(serialize(list), "application/json");
  });

  if (!options_.vastDirectory.empty()) installVastDocuments();
  if (options_.assetDirectory.empty()) return;
  installRefusingAssets();
  if (options_.assetBytesPerSecond > 0) {
    installThrottledAssets();
  } else {
    http_->set_mount_point("/assets", options_.assetDirectory.string());
  }
}

void ReferenceServer::installRefusingAssets() {
  http_->Get(R"(/refused/(\d{1,3})/(.+))",
             [this](const httplib::Request& request, httplib::Response& response) {
               const int times = std::stoi(request.matches[1]);
               const std::string name = request.matches[2];
               const auto path = fileInside(options_.assetDirectory, name);
               std::ifstream in(path.value_or(""), std::ios::binary);
               if (!path || !in) {
                 response.status = 404;
                 return;
               }
               {
                 std::lock_guard lock(mutex_);
                 if (refusals_[request.path]++ < times) {
                   response.status = 503;
                   response.set_header("Retry-After", "1");
                   return;
                 }
               }
               response.set_content(std::string(std::istreambuf_iterator<char>(in), {}),
                                    "application/octet-stream");
             });
}

void ReferenceServer::installVastDocuments() {
  http_->Get(R"(/vast/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
    const std::string name = request.matches[1];
    const auto path =
        isPlainFileName(name) ? fileInside(options_.vastDirectory, name) : std::nullopt;
    std::ifstream in(path.value_or(""), std::ios::binary);
    if (!path || !in) {
      response.status = 404;
      return;
    }
    std::string document(std::istreambuf_iterator<char>(in), {});
    // The ad id goes into the document's URLs as it is: only characters that need no escaping
    // in XML or a query.
    std::string ad = request.get_param_value("ad");
    ad.erase(std::remove_if(ad.begin(), ad.end(), [](char c) { return !isIdCharacter(c); }),
             ad.end());
    replaceAll(document, "{server}", baseUrl());
    replaceAll(document, "{ad}", ad);
    if (request.has_param("delay"))
      delay(std::strtod(request.get_param_value("delay").c_str(), nullptr));
    response.set_content(document, "application/xml");
  });
}

void ReferenceServer::delay(double seconds) {
  // "inf" waits the whole limit; NaN and negative numbers do not wait.
  seconds = std::min(seconds, options_.vastDelayLimitSeconds);
  if (!(seconds > 0)) return;
  std::unique_lock lock(mutex_);
  stopping_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopped_; });
}

void ReferenceServer::installThrottledAssets() {
  auto pacer = std::make_shared<Pacer>(options_.assetBytesPerSecond);
  http_->Get(R"(/assets/(.+))",
             [this, pacer](const httplib::Request& request, httplib::Response& response) {
               const auto path = fileInside(options_.assetDirectory, request.matches[1]);
               std::ifstream in(path.value_or(""), std::ios::binary);
               if (!path || !in) {
                 response.status = 404;
                 return;
               }
               auto body = std::make_shared<std::string>(std::istreambuf_iterator<char>(in),
                                                         std::istreambuf_iterator<char>());
               response.set_content_provider(
                   body->size(), "application/octet-stream",
                   [body, pacer](size_t offset, size_t length, httplib::DataSink& sink) {
                     const size_t chunk = std::min<size_t>(length, 16 * 1024);
                     pacer->waitToSend(chunk);
                     return sink.write(body->data() + offset, chunk);
                   });
             });
}

}  // namespace zelvora::server
