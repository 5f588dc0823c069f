#include "consent/ConsentStringsCheck.h"

#include <cstdio>

namespace zelvora {
namespace {

/// base64url and standard base64 (some encoders pad or use +/), with the separators of TC
/// segments (".") and GPP sections ("~").
bool isBase64Text(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~' || c == '+' || c == '/' || c == '=';
}

std::optional<std::string> whyInvalidText(const char* name, const std::string& text) {
  if (text.size() > kMaxConsentStringBytes)
    return std::string(name) + " is longer than " + std::to_string(kMaxConsentStringBytes) +
           " bytes";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isBase64Text(text[i])) continue;
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[i]));
    return std::string(name) + " holds byte " + byte + " at offset " + std::to_string(i) +
           ": only letters, digits and - _ . ~ + / = belong in it";
  }
  return std::nullopt;
}

bool isUsPrivacy(const std::string& text) {
  if (text.size() != 4 || text[0] != '1') return false;
  for (std::size_t i = 1; i < 4; ++i)
    if (text[i] != 'Y' && text[i] != 'N' && text[i] != '-') return false;
  return true;
}

}  // namespace

std::optional<std::string> whyInvalid(const ConsentStrings& strings) {
  if (auto why = whyInvalidText("the TC string", strings.tcfString)) return why;
  if (auto why = whyInvalidText("the GPP string", strings.gppString)) return why;
  if (!strings.gppSectionIds.empty() && strings.gppString.empty())
    return "GPP section ids need a GPP string";
  if (strings.gppSectionIds.size() > kMaxGppSectionIds)
    return "more than " + std::to_string(kMaxGppSectionIds) + " GPP section ids";
  for (const int id : strings.gppSectionIds)
    if (id <= 0) return "GPP section id " + std::to_string(id) + " is not positive";
  if (!strings.usPrivacy.empty() && !isUsPrivacy(strings.usPrivacy))
    return "the US privacy string is not 4 characters: \"1\" then Y, N or - three times";
  return std::nullopt;
}

}  // namespace zelvora
