#pragma once

// The consent decisions the storage tests' writer cycles through: each a distinct state,
// wording, time and consent strings, so that a record mixing two of them is told apart from
// every one written.

#include <cstdint>
#include <string>

#include "zelvora/ConsentState.h"
#include "zelvora/ConsentStrings.h"

namespace zelvora::test {

struct ConsentEntry {
  ConsentState state;
  std::string wording;
  std::int64_t seconds;
  ConsentStrings strings;
};

constexpr unsigned kConsentEntries = 12;

inline ConsentEntry consentEntry(unsigned index) {
  index %= kConsentEntries;
  const std::string n = std::to_string(index);
  return {static_cast<ConsentState>(index % 4),
          "wording " + n,
          1'700'000'000 + index,
          {"CP" + n, "DB" + n, {static_cast<int>(index) + 1}, index % 2 ? "1YNN" : "1NY-"}};
}

}  // namespace zelvora::test
