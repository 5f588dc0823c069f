#pragma once

// An HTTP server of the test's own on 127.0.0.1, and an address on which nothing listens.

#include <httplib.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace zelvora::test {

/// Serves the routes installed on `http` from `start()` until it is destroyed.
class LoopbackServer {
 public:
  LoopbackServer() : LoopbackServer(std::make_unique<httplib::Server>(), "http") {}
  /// Over TLS, presenting the certificate at `certificate` (PEM) with its key at `key`.
  LoopbackServer(const std::string& certificate, const std::string& key)
      : LoopbackServer(std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str()),
                       "https") {}
  ~LoopbackServer() { stop(); }

  void start() {
    port_ = http.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a port on 127.0.0.1");
    thread_ = std::thread([this] { http.listen_after_bind(); });
    // stop() only reaches a server that is already running.
    while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void stop() {
    if (!thread_.joinable()) return;
    http.stop();
    thread_.join();
  }
  std::string url(const std::string& path) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  std::unique_ptr<httplib::Server> server_;  // before `http`, which refers to it

 public:
  httplib::Server& http;

 private:
  LoopbackServer(std::unique_ptr<httplib::Server> server, std::string scheme)
      : server_(std::move(server)), http(*server_), scheme_(std::move(scheme)) {
    // One request per connection: an idle keep-alive connection would hold a worker thread,
    // and stopping waits for every worker.
    http.set_keep_alive_max_count(1);
    http.set_tcp_nodelay(true);
  }

  std::string scheme_;
  std::thread thread_;
  int port_ = 0;
};

/// An address on 127.0.0.1 on which nothing listens any more.
inline std::string closedUrl(const std::string& path) {
  LoopbackServer server;
  server.start();
  server.stop();
  return server.url(path);
}

}  // namespace zelvora::test
