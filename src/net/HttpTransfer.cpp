#include "net/HttpTransfer.h"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cmath>
#include <sstream>
#include "util/Text.h"

namespace zelvora {

HttpClient::Transfer::~Transfer() {
  if (file != nullptr) std::fclose(file);
  if (headers != nullptr) curl_slist_free_all(headers);
  if (easy != nullptr) curl_easy_cleanup(easy);
}

namespace transfer {
namespace {

using Transfer = HttpClient::Transfer;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

std::string tooLarge(const Transfer& transfer) {
  return "The " + transfer.bodyName + " is larger than the " + std::to_string(transfer.maxBytes) +
         " bytes allowed: " + transfer.url;
}

/// Counts `length` more bytes of the body; false, with the refusal set, past the limit.
bool accept(Transfer& transfer, size_t length) {
  if (transfer.received == 0 && length > 0) transfer.firstByteAt = std::chrono::steady_clock::now();
  transfer.received += static_cast<curl_off_t>(length);
  if (transfer.received <= transfer.maxBytes) return true;
  transfer.refusal = tooLarge(transfer);
  transfer.refusalReason = ZelError::fileTooLarge;
  return false;
}

/// The verify callback: refuses a leaf certificate without a subjectAltName, so that its host
/// is never taken from the common name.
int rejectLeafWithoutAltName(int preverified, X509_STORE_CTX* store) {
  if (X509_STORE_CTX_get_error_depth(store) != 0) return preverified;
  X509* leaf = X509_STORE_CTX_get_current_cert(store);
  if (leaf != nullptr && X509_get_ext_by_NID(leaf, NID_subject_alt_name, -1) < 0) {
    X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
  }
  return preverified;
}

}  // namespace

std::string schemeOf(std::string_view address) {
  // ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
  std::string scheme;
  for (const char c : address) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ':') return scheme;
    const bool allowed = std::isalpha(u) ||
                         (!scheme.empty() && (std::isdigit(u) || c == '+' || c == '-' || c == '.'));
    if (!allowed) return {};
    scheme += static_cast<char>(std::tolower(u));
  }
  return {};
}

size_t onHeader(char* data, size_t size, size_t count, void* target) {
  auto& transfer = *static_cast<Transfer*>(target);
  const size_t length = size * count;
  const std::string_view line(data, length);
  if (line.rfind("HTTP/", 0) == 0) {
    const auto space = line.find(' ');
    transfer.status =
        space == std::string_view::npos
            ? 0
            : std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
    transfer.chunked = false;
    return length;
  }
  if (startsWithNoCase(line, "transfer-encoding:") &&
      line.find("chunked") != std::string_view::npos)
    transfer.chunked = true;
  const bool redirect = transfer.status >= 300 && transfer.status < 400;
  if (trimmed(line).empty()) {
    // The headers are complete: a body announced beyond the limit is not waited for.
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (!redirect && transfer.status >= 200 && announced > transfer.maxBytes) {
      transfer.refusal = tooLarge(transfer);
      transfer.refusalReason = ZelError::fileTooLarge;
      return 0;
    }
    return length;
  }
  if (redirect && startsWithNoCase(line, "location:")) {
    const std::string_view location = trimmed(line.substr(9));
    const char* current = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &current);
    const std::string scheme = schemeOf(location);
    // Checked before libcurl follows: a 307/308 would re-send the body in clear text.
    if (current != nullptr && schemeOf(current) == "https" && !scheme.empty() &&
        scheme != "https") {
      transfer.refusal = "A redirect from https to " + scheme + " was refused: " + current +
                         " to " + std::string(location);
      return 0;
    }
  }
  return length;
}

size_t appendToAnswer(char* data, size_t size, size_t count, void* target) {
  auto& transfer = *static_cast<Transfer*>(target);
  if (!accept(transfer, size * count)) return 0;
  transfer.responseBody.append(data, size * count);
  return size * count;
}

size_t appendToFile(char* data, size_t size, size_t count, void* target) {
  auto& transfer = *static_cast<Transfer*>(target);
  if (!accept(transfer, size * count)) return 0;
  return std::fwrite(data, 1, size * count, transfer.file);
}

size_t discard(char*, size_t size, size_t count, void*) {
  return size * count;
}

int watchProgress(void* target, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded) {
  auto& transfer = *static_cast<Transfer*>(target);
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

CURLcode requireSubjectAltName(CURL*, void* sslContext, void*) {
  auto* context = static_cast<SSL_CTX*>(sslContext);
  // libcurl verifies the chain and the host itself; this only adds the rule above.
  SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), rejectLeafWithoutAltName);
  return CURLE_OK;
}

bool endMarked(const Transfer& transfer) {
  curl_off_t announced = -1;
  curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  long version = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_HTTP_VERSION, &version);
  return announced >= 0 || transfer.chunked || version >= CURL_HTTP_VERSION_2_0;
}

std::string failure(const Transfer& transfer, CURLcode code) {
  if (!transfer.refusal.empty()) return transfer.refusal;
  if (transfer.timedOut) return "The request timed out.";
  if (code == CURLE_OPERATION_TIMEDOUT) {
    curl_off_t elapsed = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_TOTAL_TIME_T, &elapsed);
    // The connection time-out is the idle one; only the deadline takes this long.
    if (elapsed >= std::llround(transfer.deadlineSeconds * 990000)) {
      std::ostringstream text;
      text << "The request timed out: it did not finish within its deadline of "
           << transfer.deadlineSeconds << " s.";
      return text.str();
    }
    return "The request timed out.";
  }
  std::string text = curl_easy_strerror(code);
  if (transfer.errorBuffer[0] != '\0') text += std::string(": ") + transfer.errorBuffer;
  return text;
}

ZelError failureReason(const Transfer& transfer, CURLcode code) {
  if (!transfer.refusal.empty()) return ZelError::network;
  if (transfer.timedOut || code == CURLE_OPERATION_TIMEDOUT) return ZelError::timedOut;
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return ZelError::tls;
    default:
      return ZelError::network;
  }
}

}  // namespace transfer
}  // namespace zelvora
