#pragma once

// Small helpers shared by the integration tests: an HTTP server of the test's own on
// 127.0.0.1, a free port nobody listens on, and reading and writing whole files.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace zelvora::test {

/// An httplib server on 127.0.0.1, serving on a thread of its own from `start()` until it is
/// destroyed. Install the routes on `http` before `start()`.
class LoopbackServer {
 public:
  LoopbackServer() {
    // One request per connection: an idle keep-alive connection would hold a worker thread,
    // and stopping waits for every worker.
    http.set_keep_alive_max_count(1);
    http.set_tcp_nodelay(true);
  }
  ~LoopbackServer() { stop(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

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
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  httplib::Server http;

 private:
  std::thread thread_;
  int port_ = 0;
};

/// A port on 127.0.0.1 that was free a moment ago and on which nothing listens.
inline int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot bind a port on 127.0.0.1");
  ::close(fd);
  return ntohs(address.sin_port);
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

}  // namespace zelvora::test
