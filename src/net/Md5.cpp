#include "net/Md5.h"

#include <openssl/md5.h>

namespace zelvora {

std::string md5Hex(std::string_view bytes) {
  unsigned char digest[MD5_DIGEST_LENGTH];
  const unsigned int length = MD5_DIGEST_LENGTH;
  // The one-shot digest skips OpenSSL 3's provider set-up, which costs about a millisecond on
  // the first EVP digest of a process, inside initialize(). (A pragma rather than
  // OPENSSL_SUPPRESS_DEPRECATED: in a unity build the header may come in before this file.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  MD5(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
#pragma GCC diagnostic pop
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0f];
  }
  return text;
}

}  // namespace zelvora
