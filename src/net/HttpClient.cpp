#include "net/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <limits>

#include "net/HttpTransfer.h"
#include "net/JsonReading.h"
#include "zelvora/Log.h"
#include "zelvora/Version.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
namespace fs = std::filesystem;

namespace {

using Transfer = HttpClient::Transfer;

bool hasWebScheme(const std::string& url) {
  const std::string scheme = transfer::schemeOf(url);
  return (scheme == "http" || scheme == "https") && url.find("//") == scheme.size() + 1;
}

using Clock = std::chrono::steady_clock;

/// A download that has not moved for this long shares no link with the next.
constexpr auto kStalled = std::chrono::milliseconds(300);
/// How long a download's body must have been arriving, or how much of it, before its rate is
/// believed: on a fast link a whole file may take less than the time.
constexpr auto kRateSample = std::chrono::milliseconds(10);
constexpr curl_off_t kRateSampleBytes = 64 * 1024;
/// A download that ends within this (or within the time its first byte took) leaves room for
/// the next, so the link stays busy while the next request goes out.
constexpr auto kOverlap = std::chrono::milliseconds(20);
/// Bytes per second below which a download is taken for a slow server, not a short link: it
/// does not hold up the others.
constexpr double kSlowestLink = 8 * 1024;

/// A link that brings a megabyte within the overlap: files on it end too soon for their order
/// to matter, and one after the other they would only wait on each request's round trip.
constexpr double kFastLink = 1e6 / std::chrono::duration<double>(kOverlap).count();

/// Whether `transfer` still has the link to itself; `linkRate` is the rate the last download
/// finished at, in bytes a second (0 before the first), which speaks for a transfer whose own
/// rate is not known yet.
bool holdsTheLink(const Transfer& transfer, Clock::time_point now, double linkRate) {
  if (now - transfer.lastProgress >= kStalled) return false;
  const auto sampled = now - transfer.firstByteAt;
  if (transfer.received == 0 || (sampled < kRateSample && transfer.received < kRateSampleBytes))
    return linkRate < kFastLink;
  const double rate = transfer.received / std::chrono::duration<double>(sampled).count();
  if (rate < kSlowestLink) return false;
  curl_off_t length = -1;
  curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) return true;
  const auto window =
      std::max<Clock::duration>(kOverlap, transfer.firstByteAt - transfer.startedAt);
  return static_cast<double>(length - transfer.received) / rate >
         std::chrono::duration<double>(window).count();
}

/// Answers nested deeper are refused: copying or destroying them would recurse that deep.
constexpr int kMaxAnswerDepth = 512;

/// Transfers that are not downloads (the answer, beacons) run in a lane of their own, so a
/// long line of downloads never holds them up.
bool isDownload(const Transfer& transfer) {
  return transfer.kind == Transfer::Kind::download;
}

TransferLimits withDefaults(TransferLimits limits) {
  const TransferLimits defaults;
  const auto keep = [](auto& value, auto fallback) {
    if (value <= 0) value = fallback;
  };
  keep(limits.initDeadlineSeconds, defaults.initDeadlineSeconds);
  keep(limits.beaconDeadlineSeconds, defaults.beaconDeadlineSeconds);
  keep(limits.downloadDeadlineSeconds, defaults.downloadDeadlineSeconds);
  keep(limits.maxAnswerBytes, defaults.maxAnswerBytes);
  keep(limits.maxImageBytes, defaults.maxImageBytes);
  keep(limits.maxVideoBytes, defaults.maxVideoBytes);
  keep(limits.maxWebAssetBytes, defaults.maxWebAssetBytes);
  keep(limits.maxConcurrentDownloads, defaults.maxConcurrentDownloads);
  keep(limits.maxConcurrentRequests, defaults.maxConcurrentRequests);
  return limits;
}

/// The deadline and the body's limit of `transfer`, by its kind.
void applyLimits(Transfer& transfer, const TransferLimits& limits) {
  switch (transfer.kind) {
    case Transfer::Kind::postJson:
      transfer.deadlineSeconds = limits.initDeadlineSeconds;
      transfer.maxBytes = limits.maxAnswerBytes;
      transfer.bodyName = "answer";
      return;
    case Transfer::Kind::fetchText:
      // The caller's deadline is kept when shorter.
      transfer.deadlineSeconds = transfer.deadlineSeconds > 0 ? std::min(transfer.deadlineSeconds,
                                                                         limits.initDeadlineSeconds)
                                                              : limits.initDeadlineSeconds;
      transfer.maxBytes = limits.maxWebAssetBytes;
      transfer.bodyName = "document";
      return;
    case Transfer::Kind::get:
      // Nothing of a beacon's answer is kept; its deadline bounds it.
      transfer.deadlineSeconds = limits.beaconDeadlineSeconds;
      transfer.maxBytes = std::numeric_limits<curl_off_t>::max();
      transfer.bodyName = "answer";
      return;
    case Transfer::Kind::download:
      transfer.deadlineSeconds = limits.downloadDeadlineSeconds;
      switch (transfer.assetKind) {
        case AssetKind::image:
          transfer.maxBytes = limits.maxImageBytes;
          transfer.bodyName = "image";
          return;
        case AssetKind::video:
          transfer.maxBytes = limits.maxVideoBytes;
          transfer.bodyName = "video";
          return;
        case AssetKind::webAsset:
          transfer.maxBytes = limits.maxWebAssetBytes;
          transfer.bodyName = "file";
          return;
      }
  }
}

/// Why a finished download may not be put in place, if it may not. Server errors and statuses
/// that ask to come back later are passing faults; other client errors are not.
std::optional<HttpError> downloadProblem(Transfer& transfer, CURLcode result, bool closed) {
  if (result != CURLE_OK) {
    return HttpError{transfer::failure(transfer, result),
                     transfer.refusal.empty() ? transfer::failureReason(transfer, result)
                                              : transfer.refusalReason};
  }
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status >= 300) {
    const bool passing = status >= 500 || status == 408 || status == 429 || status < 400;
    return HttpError{"HTTP status " + std::to_string(status) + " for " + transfer.url,
                     passing ? ZelError::downloadFailed : ZelError::fileRefused};
  }
  std::error_code error;
  const auto size = fs::file_size(transfer.partial, error);
  if (!closed || error || static_cast<curl_off_t>(size) != transfer.received)
    return HttpError{"cannot write " + transfer.partial.string(), ZelError::downloadFailed};
  curl_off_t announced = -1;
  curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  if (announced >= 0 && announced != transfer.received) {
    return HttpError{"incomplete: " + std::to_string(transfer.received) + " of the " +
                         std::to_string(announced) + " bytes announced for " + transfer.url,
                     ZelError::downloadFailed};
  }
  if (transfer.check) {
    // Without a marked end a file that fails its check may as well have been cut short.
    const bool endMarked = transfer::endMarked(transfer);
    if (auto problem = transfer.check(transfer.partial, endMarked))
      return HttpError{std::move(*problem),
                       endMarked ? ZelError::wrongKind : ZelError::downloadFailed};
  }
  return std::nullopt;
}

}  // namespace

HttpClient& HttpClient::shared() {
  static HttpClient client;
  return client;
}

HttpClient::HttpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  setCaFile("");
  setUpMulti();
  worker_ = std::thread([this] { run(); });
}

HttpClient::~HttpClient() {
  stopping_ = true;
  {
    platform::MutexLock lock(mutex_);
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
  }
  worker_.join();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void HttpClient::setUpMulti() {
  multi_ = curl_multi_init();
  // Idle connections kept for reuse; with the lanes' bounds this bounds the sockets.
  curl_multi_setopt(static_cast<CURLM*>(multi_), CURLMOPT_MAXCONNECTS, 16L);
}

void HttpClient::closeIdleConnections(double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds));
  platform::MutexLock lock(mutex_);
  closeConnections_ = true;
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
  while (closeConnections_ && lock.waitUntil(connectionsClosed_, deadline)) {
  }
  closeConnections_ = false;
}

void HttpClient::complete(const Transfer& transfer, std::function<void()> completion) {
  platform::postToMainQueue(
      [this, generation = transfer.generation, completion = std::move(completion)] {
        if (generation == generation_) completion();
      });
}

void HttpClient::setCaFile(const std::string& path) {
  const char* fromEnvironment = std::getenv("ZELVORA_CA_FILE");
  platform::MutexLock lock(mutex_);
  caFile_ = !path.empty() || fromEnvironment == nullptr ? path : fromEnvironment;
}

void HttpClient::setTimeout(double seconds) {
  platform::MutexLock lock(mutex_);
  timeoutSeconds_ = seconds > 0 ? seconds : 60;
}

void HttpClient::setLimits(const TransferLimits& limits) {
  platform::MutexLock lock(mutex_);
  limits_ = withDefaults(limits);
}

void HttpClient::postJson(const std::string& url, const JSON& body, JsonCompletion completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->generation = generation_;
  transfer->kind = Transfer::Kind::postJson;
  transfer->url = url;
  transfer->requestBody = serialize(body);
  transfer->jsonCompletion = std::move(completion);
  start(std::move(transfer));
}

void HttpClient::get(const std::string& url) {
  auto transfer = std::make_unique<Transfer>();
  transfer->generation = generation_;
  transfer->url = url;
  start(std::move(transfer));
}

void HttpClient::fetchText(const std::string& url, double deadlineSeconds,
                           TextCompletion completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->generation = generation_;
  transfer->kind = Transfer::Kind::fetchText;
  transfer->url = url;
  transfer->deadlineSeconds = deadlineSeconds;
  transfer->textCompletion = std::move(completion);
  start(std::move(transfer));
}

void HttpClient::download(const std::string& url, const fs::path& destination, AssetKind kind,
                          DownloadCompletion completion, FileCheck check) {
  auto transfer = std::make_unique<Transfer>();
  transfer->generation = generation_;
  transfer->kind = Transfer::Kind::download;
  transfer->assetKind = kind;
  transfer->url = url;
  transfer->destination = destination;
  static std::atomic<unsigned> downloads = 0;
  // A name of its own per transfer, so two downloads of one file never share a partial file.
  transfer->partial = destination.string() + ".part" + std::to_string(++downloads);
  transfer->downloadCompletion = std::move(completion);
  transfer->check = std::move(check);
  start(std::move(transfer));
}

void HttpClient::start(std::unique_ptr<Transfer> transfer) {
  CURL* easy = curl_easy_init();
  transfer->easy = easy;
  // Addresses come from the ad server: only absolute web addresses are fetched, so nothing
  // is guessed into a host name or reaches a local file.
  if (!hasWebScheme(transfer->url)) {
    std::snprintf(transfer->errorBuffer, sizeof transfer->errorBuffer,
                  "not an http or https address: %s", transfer->url.c_str());
    finish(*transfer, CURLE_UNSUPPORTED_PROTOCOL);
    return;
  }
  std::string caFile;
  double timeout = 0;
  {
    platform::MutexLock lock(mutex_);
    caFile = caFile_;
    timeout = timeoutSeconds_;
    applyLimits(*transfer, limits_);
  }
  curl_easy_setopt(easy, CURLOPT_URL, transfer->url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  // Redirects too stay on the web, and on https once there (the header callback says why
  // when it refuses one; this is the backstop).
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                   transfer::schemeOf(transfer->url) == "https" ? "https" : "http,https");
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, transfer::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "ZelvoraSDK/" ZELVORA_VERSION_STRING);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, transfer::requireSubjectAltName);
  if (!caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
  // An idle time-out, like a mobile platform's request time-out, and beside it a deadline
  // for the whole request, which no server that keeps dripping bytes can push back.
  const long timeoutMs = std::lround(timeout * 1000);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::lround(transfer->deadlineSeconds * 1000));
  transfer->timeout = std::chrono::milliseconds(timeoutMs);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, transfer::watchProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());

  switch (transfer->kind) {
    case Transfer::Kind::fetchText:
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, transfer::appendToAnswer);
      break;
    case Transfer::Kind::postJson:
      transfer->headers = curl_slist_append(nullptr, "Content-Type: application/json");
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE,
                       static_cast<long>(transfer->requestBody.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->requestBody.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, transfer::appendToAnswer);
      break;
    case Transfer::Kind::get:
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, transfer::discard);
      break;
    case Transfer::Kind::download:
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, transfer::appendToFile);
      break;
  }
  {
    platform::MutexLock lock(mutex_);
    (isDownload(*transfer) ? waitingDownloads_ : waitingRequests_).push_back(std::move(transfer));
    // Under the lock: closeIdleConnections has the client's thread replace the multi handle.
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
  }
}

bool HttpClient::roomForAnotherDownload() const {
  const auto now = Clock::now();
  return std::none_of(active_.begin(), active_.end(), [&](const auto& entry) {
    return isDownload(*entry.second) && holdsTheLink(*entry.second, now, linkRate_);
  });
}

void HttpClient::startWaiting() {
  std::vector<std::unique_ptr<Transfer>> starting;
  const bool downloadRoom = roomForAnotherDownload();
  void* multi = nullptr;
  {
    platform::MutexLock lock(mutex_);
    multi = multi_;
    const auto take = [&](std::deque<std::unique_ptr<Transfer>>& waiting, int& active, int bound) {
      for (; active < bound && !waiting.empty(); ++active) {
        starting.push_back(std::move(waiting.front()));
        waiting.pop_front();
      }
    };
    // One more download at a time, and only when the running ones make room.
    take(waitingDownloads_, activeDownloads_,
         downloadRoom ? std::min(activeDownloads_ + 1, limits_.maxConcurrentDownloads) : 0);
    take(waitingRequests_, activeRequests_, limits_.maxConcurrentRequests);
  }
  for (auto& transfer : starting) {
    // Opened only now, so waiting downloads hold no file descriptor.
    if (isDownload(*transfer)) {
      transfer->file = std::fopen(transfer->partial.c_str(), "wb");
      if (transfer->file == nullptr) {
        transfer->refusal = "cannot write " + transfer->partial.string();
        --activeDownloads_;
        finish(*transfer, CURLE_WRITE_ERROR);
        continue;
      }
    }
    transfer->lastProgress = transfer->startedAt = Clock::now();
    curl_multi_add_handle(static_cast<CURLM*>(multi), transfer->easy);
    active_.emplace(transfer->easy, std::move(transfer));
  }
}

void HttpClient::run() {
  CURLM* multi = nullptr;
  {
    platform::MutexLock lock(mutex_);
    multi = static_cast<CURLM*>(multi_);
  }
  while (!stopping_) {
    startWaiting();
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;
      curl_multi_remove_handle(multi, easy);
      auto it = active_.find(easy);
      if (it == active_.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(it->second);
      active_.erase(it);
      --(isDownload(*transfer) ? activeDownloads_ : activeRequests_);
      if (isDownload(*transfer) && result == CURLE_OK) {
        const std::chrono::duration<double> took = Clock::now() - transfer->startedAt;
        if (took.count() > 0) linkRate_ = transfer->received / took.count();
      }
      finish(*transfer, result);
    }
    // A finished transfer's place goes to the next before the wait.
    startWaiting();
    bool downloadsWait = false;
    {
      platform::MutexLock lock(mutex_);
      if (closeConnections_ && active_.empty()) {
        curl_multi_cleanup(multi);
        setUpMulti();
        multi = static_cast<CURLM*>(multi_);
        linkRate_ = 0;
        closeConnections_ = false;
        connectionsClosed_.notify_all();
      }
      downloadsWait = !waitingDownloads_.empty();
    }
    // Waiting downloads look again soon whether the running ones make room.
    curl_multi_poll(multi, nullptr, 0, downloadsWait ? 5 : 1000, nullptr);
  }
  for (auto& [easy, transfer] : active_) {
    curl_multi_remove_handle(multi, easy);
    if (transfer->file != nullptr) {
      std::fclose(transfer->file);
      transfer->file = nullptr;
      std::error_code error;
      fs::remove(transfer->partial, error);
    }
  }
}

void HttpClient::finish(Transfer& transfer, int code) {
  const auto result = static_cast<CURLcode>(code);
  switch (transfer.kind) {
    case Transfer::Kind::get:
      // Beacons fail silently, but a refused redirect is worth knowing about.
      if (result != CURLE_OK && !transfer.refusal.empty()) {
        complete(transfer, [line = transfer.refusal] { log(LogLevel::warning, line); });
      }
      return;
    case Transfer::Kind::postJson: {
      // std::function needs copyable captures: the parsed value travels in a shared pointer.
      auto answer = std::make_shared<std::pair<std::optional<JSON>, std::optional<HttpError>>>();
      if (result != CURLE_OK) {
        answer->second = HttpError{transfer::failure(transfer, result),
                                   transfer::failureReason(transfer, result)};
      } else if (!nestingWithin(transfer.responseBody, kMaxAnswerDepth)) {
        answer->second = HttpError{"The answer is not valid JSON: nested deeper than " +
                                       std::to_string(kMaxAnswerDepth) + " levels",
                                   ZelError::invalidAnswer};
      } else {
        try {
          answer->first = JSON::parse(transfer.responseBody);
        } catch (const JSON::exception& error) {
          answer->second = HttpError{std::string("The answer is not valid JSON: ") + error.what(),
                                     ZelError::invalidAnswer};
        }
      }
      // The text can be as large as the limit: it goes before the completion is posted.
      std::string().swap(transfer.responseBody);
      complete(transfer, [completion = std::move(transfer.jsonCompletion), answer] {
        completion(std::move(answer->first), std::move(answer->second));
      });
      return;
    }
    case Transfer::Kind::fetchText: {
      auto answer =
          std::make_shared<std::pair<std::optional<std::string>, std::optional<HttpError>>>();
      long status = 0;
      curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
      if (result != CURLE_OK) {
        answer->second = HttpError{transfer::failure(transfer, result),
                                   transfer::failureReason(transfer, result)};
      } else if (status < 200 || status >= 300) {
        answer->second =
            HttpError{"HTTP status " + std::to_string(status) + " for " + transfer.url};
      } else {
        answer->first = std::move(transfer.responseBody);
      }
      complete(transfer, [completion = std::move(transfer.textCompletion), answer] {
        completion(std::move(answer->first), std::move(answer->second));
      });
      return;
    }
    case Transfer::Kind::download: {
      const bool closed = transfer.file != nullptr && std::fclose(transfer.file) == 0;
      transfer.file = nullptr;
      std::optional<HttpError> error = downloadProblem(transfer, result, closed);
      std::error_code fileError;
      if (!error) {
        fs::rename(transfer.partial, transfer.destination, fileError);
        if (fileError) error = HttpError{fileError.message(), ZelError::downloadFailed};
      }
      if (error) fs::remove(transfer.partial, fileError);
      complete(transfer,
               [completion = std::move(transfer.downloadCompletion), error] { completion(error); });
      return;
    }
  }
}

}  // namespace zelvora
