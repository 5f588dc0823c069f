#pragma once

#include <string>
#include <string_view>

namespace zelvora {

/// Whether `text` parses as a URL reference: not empty, only characters a URL may hold
/// (RFC 3986, with percent escapes of two hexadecimal digits).
bool isValidUrl(std::string_view text);

}  // namespace zelvora

namespace zelvora {

/// `text` with every byte outside the RFC 3986 unreserved characters and those of `alsoKept`
/// percent-encoded.
std::string percentEncoded(std::string_view text, const char* alsoKept = "");

/// The file URL of an absolute path ("file:///a%20b/c"), every byte outside the unreserved
/// characters and "/" percent-encoded.
std::string fileUrlFromPath(std::string_view path);
/// Whether `url` has the scheme "file" (in any letter case).
bool isFileUrl(std::string_view url);

}  // namespace zelvora
