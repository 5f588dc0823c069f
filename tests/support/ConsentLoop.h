#pragma once

// The consent decisions the storage tests' writer cycles through: each a distinct state,
// wording and time, so that a record mixing two of them is told apart from every one written.

#include <cstdint>
#include <string>

#include "zelvora/ConsentState.h"

namespace zelvora::test {

struct ConsentEntry {
  ConsentState state;
  std::string wording;
  std::int64_t seconds;
};

constexpr unsigned kConsentEntries = 12;

inline ConsentEntry consentEntry(unsigned index) {
  index %= kConsentEntries;
  return {static_cast<ConsentState>(index % 4), "wording " + std::to_string(index),
          1'700'000'000 + index};
}

}  // namespace zelvora::test
