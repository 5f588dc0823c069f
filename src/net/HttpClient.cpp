#include "net/HttpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "net/JsonReading.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
namespace fs = std::filesystem;

struct HttpClient::Transfer {
  enum class Kind { postJson, get, download };

  Kind kind = Kind::get;
  /// The client's generation when the transfer began.
  std::uint64_t generation = 0;
  std::string url;
  std::string requestBody;
  std::string responseBody;
  fs::path destination;
  fs::path partial;
  FILE* file = nullptr;
  JsonCompletion jsonCompletion;
  DownloadCompletion downloadCompletion;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  // Idle time-out bookkeeping: the transfer fails once no byte moved for `timeout`.
  std::chrono::steady_clock::duration timeout{};
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
  curl_off_t lastDownloaded = 0;
  curl_off_t lastUploaded = 0;
  bool timedOut = false;

  ~Transfer() {
    if (file != nullptr) std::fclose(file);
    if (headers != nullptr) curl_slist_free_all(headers);
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

namespace {

size_t appendToString(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t discard(char*, size_t size, size_t count, void*) {
  return size * count;
}

bool hasWebScheme(const std::string& url) {
  const auto startsWith = [&](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    }
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

/// Answers nested deeper are refused: copying or destroying them would recurse that deep.
constexpr int kMaxAnswerDepth = 512;

std::string transportError(CURLcode code, const char* detail, bool timedOut) {
  if (timedOut) return "The request timed out.";
  std::string text = curl_easy_strerror(code);
  if (detail != nullptr && *detail != '\0') text += std::string(": ") + detail;
  return text;
}

/// libcurl calls this about once a second, and whenever data moves.
int watchProgress(void* target, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded) {
  auto& transfer = *static_cast<HttpClient::Transfer*>(target);
  const auto now = std::chrono::steady_clock::now();
  if (downloaded != transfer.lastDownloaded || uploaded != transfer.lastUploaded) {
    transfer.lastDownloaded = downloaded;
    transfer.lastUploaded = uploaded;
    transfer.lastProgress = now;
    return 0;
  }
  if (now - transfer.lastProgress < transfer.timeout) return 0;
  transfer.timedOut = true;
  return 1;  // aborts the transfer
}

}  // namespace

HttpClient& HttpClient::shared() {
  static HttpClient client;
  return client;
}

HttpClient::HttpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  setCaFile("");
  multi_ = curl_multi_init();
  worker_ = std::thread([this] { run(); });
}

HttpClient::~HttpClient() {
  stopping_ = true;
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
  worker_.join();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void HttpClient::complete(const Transfer& transfer, std::function<void()> completion) {
  platform::postToMainQueue(
      [this, generation = transfer.generation, completion = std::move(completion)] {
        if (generation == generation_) completion();
      });
}

void HttpClient::setCaFile(const std::string& path) {
  const char* fromEnvironment = std::getenv("ZELVORA_CA_FILE");
  std::lock_guard lock(mutex_);
  caFile_ = !path.empty() || fromEnvironment == nullptr ? path : fromEnvironment;
}

void HttpClient::setTimeout(double seconds) {
  std::lock_guard lock(mutex_);
  timeoutSeconds_ = seconds > 0 ? seconds : 60;
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
  transfer->url = url;
  start(std::move(transfer));
}

void HttpClient::download(const std::string& url, const fs::path& destination,
                          DownloadCompletion completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->generation = generation_;
  transfer->kind = Transfer::Kind::download;
  transfer->url = url;
  transfer->destination = destination;
  static std::atomic<unsigned> downloads = 0;
  // A name of its own per transfer, so two downloads of one file never share a partial file.
  transfer->partial = destination.string() + ".part" + std::to_string(++downloads);
  transfer->downloadCompletion = std::move(completion);
  transfer->file = std::fopen(transfer->partial.c_str(), "wb");
  if (transfer->file == nullptr) {
    complete(*transfer, [completion = std::move(transfer->downloadCompletion),
                         error = "cannot write " + transfer->partial.string()] {
      completion(HttpError{error});
    });
    return;
  }
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
    std::lock_guard lock(mutex_);
    caFile = caFile_;
    timeout = timeoutSeconds_;
  }
  curl_easy_setopt(easy, CURLOPT_URL, transfer->url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  // Redirects too stay on the web.
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "ZelvoraSDK/1.0.5");
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
  // An idle time-out, like a mobile platform's request time-out: slow downloads that keep
  // moving are not cut off.
  const long timeoutMs = std::lround(timeout * 1000);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  transfer->timeout = std::chrono::milliseconds(timeoutMs);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, watchProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());

  switch (transfer->kind) {
    case Transfer::Kind::postJson:
      transfer->headers = curl_slist_append(nullptr, "Content-Type: application/json");
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE,
                       static_cast<long>(transfer->requestBody.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->requestBody.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendToString);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->responseBody);
      break;
    case Transfer::Kind::get:
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
      break;
    case Transfer::Kind::download:
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, nullptr);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer->file);
      break;
  }
  {
    std::lock_guard lock(mutex_);
    incoming_.push_back(std::move(transfer));
  }
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void HttpClient::run() {
  auto* multi = static_cast<CURLM*>(multi_);
  std::map<CURL*, std::unique_ptr<Transfer>> active;
  while (!stopping_) {
    {
      std::lock_guard lock(mutex_);
      for (auto& transfer : incoming_) {
        curl_multi_add_handle(multi, transfer->easy);
        active.emplace(transfer->easy, std::move(transfer));
      }
      incoming_.clear();
    }
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;
      curl_multi_remove_handle(multi, easy);
      auto it = active.find(easy);
      if (it == active.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(it->second);
      active.erase(it);
      finish(*transfer, result);
    }
    curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  for (auto& [easy, transfer] : active) {
    curl_multi_remove_handle(multi, easy);
    if (transfer->kind == Transfer::Kind::download) {
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
      return;
    case Transfer::Kind::postJson: {
      // std::function needs copyable captures: the parsed value travels in a shared pointer.
      auto answer = std::make_shared<std::pair<std::optional<JSON>, std::optional<HttpError>>>();
      if (result != CURLE_OK) {
        answer->second = HttpError{transportError(result, transfer.errorBuffer, transfer.timedOut)};
      } else if (!nestingWithin(transfer.responseBody, kMaxAnswerDepth)) {
        answer->second = HttpError{"The answer is not valid JSON: nested deeper than " +
                                   std::to_string(kMaxAnswerDepth) + " levels"};
      } else {
        try {
          answer->first = JSON::parse(transfer.responseBody);
        } catch (const JSON::exception& error) {
          answer->second = HttpError{std::string("The answer is not valid JSON: ") + error.what()};
        }
      }
      complete(transfer, [completion = std::move(transfer.jsonCompletion), answer] {
        completion(std::move(answer->first), std::move(answer->second));
      });
      return;
    }
    case Transfer::Kind::download: {
      long status = 0;
      curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
      const bool closed = std::fclose(transfer.file) == 0;
      transfer.file = nullptr;
      std::optional<HttpError> error;
      if (result != CURLE_OK) {
        error = HttpError{transportError(result, transfer.errorBuffer, transfer.timedOut)};
      } else if (status < 200 || status >= 300) {
        error = HttpError{"HTTP status " + std::to_string(status) + " for " + transfer.url};
      } else if (!closed) {
        error = HttpError{"cannot write " + transfer.partial.string()};
      }
      std::error_code fileError;
      if (!error) {
        fs::rename(transfer.partial, transfer.destination, fileError);
        if (fileError) error = HttpError{fileError.message()};
      }
      if (error) fs::remove(transfer.partial, fileError);
      complete(transfer,
               [completion = std::move(transfer.downloadCompletion), error] { completion(error); });
      return;
    }
  }
}

}  // namespace zelvora
