#include "support/FaultServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace zelvora::test {
namespace {

using namespace std::chrono_literals;

bool sendAll(int socket, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::string headers(const std::string& status, const std::string& fields) {
  return "HTTP/1.1 " + status + "\r\n" + fields + "Connection: close\r\n\r\n";
}

std::string lengthHeader(std::size_t length) {
  return "Content-Length: " + std::to_string(length) + "\r\n";
}

/// Reads the request's head and the body it announces; returns the head ("" when the client
/// went away first).
std::string readRequest(int socket) {
  std::string data;
  char buffer[4096];
  std::size_t end = std::string::npos;
  while ((end = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    data.append(buffer, static_cast<std::size_t>(n));
  }
  std::string head = data.substr(0, end);
  std::size_t length = 0;
  for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
    if (const auto at = head.find(name); at != std::string::npos)
      length = std::strtoul(head.c_str() + at + std::char_traits<char>::length(name), nullptr, 10);
  }
  std::size_t body = data.size() - end - 4;
  while (body < length) {
    const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    body += static_cast<std::size_t>(n);
  }
  return head;
}

/// A lingering close with no time sends a reset instead of the orderly end.
void reset(int socket) {
  linger option{1, 0};
  ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

}  // namespace

FaultServer::FaultServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener_, SOMAXCONN) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { accept(); });
}

FaultServer::~FaultServer() {
  stopping_ = true;
  acceptor_.join();
  ::close(listener_);
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& connection : connections) connection.join();
}

std::string FaultServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int FaultServer::requests(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const auto& path : paths_) count += path.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

void FaultServer::accept() {
  while (!stopping()) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    const int socket = ::accept(listener_, nullptr, nullptr);
    if (socket < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, socket] {
      serve(socket);
      ::close(socket);
      ++ended_;
    });
  }
}

void FaultServer::waitForHangUp(int socket) const {
  char byte;
  while (!stopping()) {
    pollfd waiting{socket, POLLIN, 0};
    if (::poll(&waiting, 1, 50) > 0 && ::recv(socket, &byte, 1, MSG_DONTWAIT) <= 0) return;
  }
}

void FaultServer::serve(int socket) {
  const std::string head = readRequest(socket);
  const auto start = head.find(' ');
  if (start == std::string::npos) return;
  const std::string path = head.substr(start + 1, head.find(' ', start + 1) - start - 1);
  {
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
  }
  const auto is = [&](const std::string& prefix) { return path.rfind(prefix, 0) == 0; };
  if (is("/stall-headers")) {
    waitForHangUp(socket);
  } else if (is("/stall-body")) {
    if (sendAll(socket, headers("200 OK", lengthHeader(1000)) + std::string(10, ' ')))
      waitForHangUp(socket);
  } else if (is("/drip")) {
    if (!sendAll(socket, headers("200 OK", lengthHeader(1000)))) return;
    while (!stopping() && sendAll(socket, " ")) std::this_thread::sleep_for(100ms);
  } else if (is("/reset")) {
    // A whole answer arrives first: only the transport's error may keep it from being taken.
    const std::string answer = R"({"data": {"placements": {}}})";
    if (sendAll(socket, headers("200 OK", lengthHeader(100000)) + answer + std::string(1000, ' ')))
      reset(socket);
  } else if (is("/truncated")) {
    sendAll(socket, headers("200 OK", lengthHeader(1000)) + std::string(500, ' '));
  } else if (is("/bad-chunked")) {
    sendAll(socket,
            headers("200 OK", "Transfer-Encoding: chunked\r\n") + "zz\r\nhello\r\n0\r\n\r\n");
  } else if (is("/huge")) {
    const std::string block(64 * 1024, ' ');
    if (!sendAll(socket, headers("200 OK", lengthHeader(500u << 20)))) return;
    while (!stopping() && sendAll(socket, block)) {
    }
  } else if (is("/endless")) {
    const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    if (!sendAll(socket, headers("200 OK", "Transfer-Encoding: chunked\r\n"))) return;
    while (!stopping() && sendAll(socket, chunk)) {
    }
  } else if (is("/loop")) {
    sendAll(socket, headers("302 Found", "Location: /loop\r\n" + lengthHeader(0)));
  } else if (is("/redirect/")) {
    const auto slash = path.find('/', 10);
    const std::string status = path.substr(10, slash - 10);
    const std::string target = slash == std::string::npos ? "/" : path.substr(slash + 1);
    sendAll(socket, headers(status + " Moved", "Location: " + target + "\r\n" + lengthHeader(0)));
  } else if (is("/unmarked/")) {
    const auto slash = path.find('/', 10);
    const auto found = files_.find(path.substr(slash + 1));
    const std::size_t cut = std::strtoul(path.c_str() + 10, nullptr, 10);
    if (found == files_.end() || cut > found->second.size()) {
      sendAll(socket, headers("404 Not Found", lengthHeader(0)));
    } else {
      sendAll(socket, headers("200 OK", "") + found->second.substr(0, found->second.size() - cut));
    }
  } else if (is("/file/") || is("/cleartext/")) {
    const auto found = files_.find(path.substr(path.find('/', 1) + 1));
    if (found == files_.end()) {
      sendAll(socket, headers("404 Not Found", lengthHeader(0)));
    } else {
      sendAll(socket, headers("200 OK", lengthHeader(found->second.size())) + found->second);
    }
  } else {
    sendAll(socket, headers("404 Not Found", lengthHeader(0)));
  }
}

}  // namespace zelvora::test
