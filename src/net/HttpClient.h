#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "zelvora/Json.h"
#include "zelvora/TransferLimits.h"
#include "zelvora/ZelError.h"
#include "zelvora/platform/Mutex.h"

namespace zelvora {

struct HttpError {
  std::string localizedDescription;
  ZelError reason = ZelError::network;
};

/// What a download holds; each kind has a size limit of its own.
enum class AssetKind { image, video, webAsset };

/// The SDK's HTTP(S) client over libcurl. One process-wide instance transfers on its own
/// thread (libcurl's multi interface) and posts every completion to the main queue; nothing
/// else of the SDK runs on that thread. Server certificates are always verified, against the
/// system's CA store or a CA file the host configures, and must name the host in their
/// subjectAltName. A redirect never leaves https once a request is on it. Requests give up
/// when no byte moves for the time-out (60 s by default) or the connection cannot be made
/// within it, and when they outlast their deadline; answers and files larger than their
/// limit fail as soon as that shows. Only a few transfers run at once (connections are
/// reused); the others wait for their turn in order. A download starts beside running ones
/// only when those are about to end, or move too slowly to be sharing the link: on a short
/// link one file arrives after the other instead of all of them late together.
class HttpClient {
 public:
  using JsonCompletion = std::function<void(std::optional<JSON>, std::optional<HttpError>)>;
  using DownloadCompletion = std::function<void(std::optional<HttpError>)>;
  using TextCompletion = std::function<void(std::optional<std::string>, std::optional<HttpError>)>;
  /// Looks at a complete downloaded file before it is put in place; a returned reason fails
  /// the download. `endMarked` tells whether the server marked where the body ends (a length,
  /// chunked encoding, HTTP/2's end of stream); a body only the connection's close ended may
  /// have been cut short without any error. Runs on the client's thread.
  using FileCheck =
      std::function<std::optional<std::string>(const std::filesystem::path&, bool endMarked)>;

  static HttpClient& shared();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  /// POSTs `body` as "application/json". The answer is parsed on the client's thread
  /// (any top-level JSON value is accepted) and delivered on the main queue, whatever the
  /// HTTP status; a transport failure or a body that is not JSON gives an error instead.
  void postJson(const std::string& url, const JSON& body, JsonCompletion completion);
  /// Fire-and-forget GET: the answer is ignored, nothing is retried. A redirect refused for
  /// leaving https is one console line.
  void get(const std::string& url);
  /// GETs `url` and delivers its body as text on the main queue: only a 2xx answer (after
  /// redirects) within the web-asset size limit and `deadlineSeconds`, else an error.
  void fetchText(const std::string& url, double deadlineSeconds, TextCompletion completion);
  /// Downloads `url` into `destination`, replacing any existing file. The body is written
  /// under a temporary name beside it (opened only when the transfer starts) and renamed into
  /// place only when the transfer succeeded with a 2xx status (after redirects), holds as
  /// many bytes as the server announced and passes `check`. Completion on the main queue.
  void download(const std::string& url, const std::filesystem::path& destination, AssetKind kind,
                DownloadCompletion completion, FileCheck check = {});

  /// A PEM file of CA certificates to trust instead of the system store; empty falls back to
  /// $ZELVORA_CA_FILE, then to the system store.
  void setCaFile(const std::string& path) ZELVORA_EXCLUDES(mutex_);
  void setTimeout(double seconds) ZELVORA_EXCLUDES(mutex_);
  /// Applies to transfers requested afterwards.
  void setLimits(const TransferLimits& limits) ZELVORA_EXCLUDES(mutex_);

  /// The completions of every transfer started so far are dropped instead of called (the
  /// transfers themselves run to their end). Main thread only.
  void dropPendingCompletions() { ++generation_; }
  /// Closes the connections kept for reuse once no transfer runs (waiting at most `seconds`),
  /// so a server stopping next has no idle connection to wait for. Not on the client's thread.
  void closeIdleConnections(double seconds = 2) ZELVORA_EXCLUDES(mutex_);

  /// One request in flight; defined by the implementation.
  struct Transfer;

 private:
  HttpClient();
  void start(std::unique_ptr<Transfer> transfer) ZELVORA_EXCLUDES(mutex_);
  void run() ZELVORA_EXCLUDES(mutex_);
  /// Starts waiting transfers, in order, while their lane has room. Client's thread only.
  void startWaiting() ZELVORA_EXCLUDES(mutex_);
  /// Whether a waiting download may start beside the running ones. Client's thread only.
  bool roomForAnotherDownload() const;
  void setUpMulti() ZELVORA_REQUIRES(mutex_);
  void finish(Transfer& transfer, int result);
  /// Posts `completion` to the main queue, to run there unless dropped since `transfer` began.
  void complete(const Transfer& transfer, std::function<void()> completion);

  platform::Mutex mutex_;
  /// Replaced by the client's thread (closeIdleConnections), woken from the others.
  void* multi_ ZELVORA_GUARDED_BY(mutex_) = nullptr;
  std::thread worker_;
  std::atomic<bool> stopping_ = false;
  /// Counts `dropPendingCompletions` calls; each transfer keeps the count it started under.
  std::atomic<std::uint64_t> generation_ = 0;

  // The client's thread only.
  std::map<void*, std::unique_ptr<Transfer>> active_;
  int activeDownloads_ = 0;
  int activeRequests_ = 0;
  /// Bytes a second the last download finished at, its request's round trip included.
  double linkRate_ = 0;

  /// Requested transfers not started yet, in order: downloads, and the other requests.
  std::deque<std::unique_ptr<Transfer>> waitingDownloads_ ZELVORA_GUARDED_BY(mutex_);
  std::deque<std::unique_ptr<Transfer>> waitingRequests_ ZELVORA_GUARDED_BY(mutex_);
  bool closeConnections_ ZELVORA_GUARDED_BY(mutex_) = false;
  std::condition_variable connectionsClosed_;
  std::string caFile_ ZELVORA_GUARDED_BY(mutex_);
  double timeoutSeconds_ ZELVORA_GUARDED_BY(mutex_) = 60;
  TransferLimits limits_ ZELVORA_GUARDED_BY(mutex_);
};

}  // namespace zelvora
