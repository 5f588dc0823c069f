#pragma once

// One transfer of the HTTP client and the libcurl callbacks that keep it within its bounds:
// the idle time-out, the size limit, redirects that would leave https, and certificates that
// name their host only in the common name. Internal to the client.

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "net/HttpClient.h"

namespace zelvora {

struct HttpClient::Transfer {
  enum class Kind { postJson, get, fetchText, download };

  ~Transfer();

  Kind kind = Kind::get;
  AssetKind assetKind = AssetKind::webAsset;
  /// The client's generation when the transfer was requested.
  std::uint64_t generation = 0;
  std::string url;
  std::string requestBody;
  std::string responseBody;
  std::filesystem::path destination;
  std::filesystem::path partial;
  FILE* file = nullptr;
  JsonCompletion jsonCompletion;
  DownloadCompletion downloadCompletion;
  TextCompletion textCompletion;
  FileCheck check;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  /// The largest body accepted, what it is called in messages, and what arrived so far.
  curl_off_t maxBytes = 0;
  std::string bodyName;
  curl_off_t received = 0;
  double deadlineSeconds = 0;
  /// The status of the response whose headers are arriving (each redirect has its own).
  long status = 0;
  /// Whether that response's body comes in chunks, which mark its end.
  bool chunked = false;
  /// Set when a callback stopped the transfer: why, as the error's description.
  std::string refusal;
  /// Why, for a download that fails on it: a body over its limit is no passing fault.
  ZelError refusalReason = ZelError::network;

  // Idle time-out bookkeeping: the transfer fails once no byte moved for `timeout`.
  std::chrono::steady_clock::duration timeout{};
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
  curl_off_t lastDownloaded = 0;
  curl_off_t lastUploaded = 0;
  bool timedOut = false;
  /// When the transfer started, and when the first byte of its body arrived.
  std::chrono::steady_clock::time_point startedAt;
  std::chrono::steady_clock::time_point firstByteAt;
};

namespace transfer {

/// CURLOPT_HEADERFUNCTION: refuses a redirect that leaves https, and a body announced larger
/// than the limit before any of it arrives; notes a chunked body.
size_t onHeader(char* data, size_t size, size_t count, void* transfer);
/// CURLOPT_WRITEFUNCTION of each kind, counting the body against the limit.
size_t appendToAnswer(char* data, size_t size, size_t count, void* transfer);
size_t appendToFile(char* data, size_t size, size_t count, void* transfer);
size_t discard(char* data, size_t size, size_t count, void* transfer);
/// CURLOPT_XFERINFOFUNCTION: the idle time-out.
int watchProgress(void* transfer, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded);
/// CURLOPT_SSL_CTX_FUNCTION: a server certificate must carry a subjectAltName.
CURLcode requireSubjectAltName(CURL*, void* sslContext, void*);

/// Whether the server marked where the body of the final response ends: a Content-Length,
/// chunked encoding, or HTTP/2 and later, whose streams end explicitly. Otherwise only the
/// connection's close ended it, and a dropped connection looks the same.
bool endMarked(const HttpClient::Transfer& transfer);
/// The description of a transfer that ended with `code`.
std::string failure(const HttpClient::Transfer& transfer, CURLcode code);
/// What kind of failure that was.
ZelError failureReason(const HttpClient::Transfer& transfer, CURLcode code);
/// The scheme of an absolute address, in lower case; empty for a relative reference.
std::string schemeOf(std::string_view address);

}  // namespace transfer
}  // namespace zelvora
