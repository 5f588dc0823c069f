#pragma once

// An HTTP server on 127.0.0.1 that misbehaves on purpose, on raw sockets: a server library
// cannot stall, drip, reset a connection or lie about lengths. The request's path picks the
// behaviour:
//
//   /stall-headers      reads the request and never answers
//   /stall-body         announces 1000 bytes, sends 10, then nothing
//   /drip               announces 1000 bytes, sends one every 100 ms
//   /reset              announces 100000 bytes, sends a whole answer and 1000 spaces, then
//                       resets the connection
//   /truncated          announces 1000 bytes, sends 500, then closes
//   /bad-chunked        a chunked body whose chunk size is not hexadecimal
//   /huge               announces 500 MB and sends until the client hangs up
//   /endless            a chunked body that never ends
//   /loop               302 to itself
//   /redirect/<status>/<address>   <status> with Location: <address>
//   /file/<name>, /cleartext/<name>   the body registered as <name>, complete
//   /unmarked/<cut>/<name>   that body less its last <cut> bytes, with neither a length nor
//                       chunks: the close ends it
//
// Each connection has a thread of its own and ends when the client hangs up, the behaviour
// ends, or the server is destroyed.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelvora::test {

class FaultServer {
 public:
  FaultServer();
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  std::string url(const std::string& path) const;
  /// Serves `body` at /file/<name>, /cleartext/<name> and /unmarked/<cut>/<name>. Before the
  /// requests.
  void addFile(const std::string& name, std::string body) { files_[name] = std::move(body); }
  /// Requests received so far whose path starts with `prefix`.
  int requests(const std::string& prefix) const;
  /// Connections that have ended.
  int connectionsEnded() const { return ended_; }

 private:
  void accept();
  void serve(int socket);
  /// Waits until the client hangs up or the server stops.
  void waitForHangUp(int socket) const;
  bool stopping() const { return stopping_; }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_ = false;
  std::atomic<int> ended_ = 0;
  std::map<std::string, std::string> files_;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> connections_;  // guarded by mutex_
  std::vector<std::string> paths_;        // guarded by mutex_
};

}  // namespace zelvora::test
