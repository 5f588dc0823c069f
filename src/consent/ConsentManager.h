#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/ConsentState.h"
#include "zelvora/ConsentStrings.h"
#include "zelvora/Json.h"
#include "zelvora/platform/Preferences.h"

namespace zelvora {

/// Keeps the user's consent across launches in the SDK's preferences suite and marks a
/// change until a request has carried it to the server. Without a usable suite the record
/// lives in memory only.
class ConsentManager {
 public:
  static constexpr const char* suiteName = "com.zelvora.sdk";

  ConsentManager();

  ConsentState state() const { return state_; }
  /// Records a decision when the state or the wording differs from the stored one;
  /// `dateTime` in seconds since 1970.
  void set(ConsentState state, const std::string& wording, std::int64_t dateTime);
  /// Back to unknown, marked as changed, timed now.
  void resetState();
  const ConsentStrings& strings() const { return strings_; }
  /// Replaces the consent strings, saved in one replace of the record; leaves the change mark
  /// as it is. Returns why they were refused (see whyInvalid), keeping the former ones.
  std::optional<std::string> setStrings(const ConsentStrings& strings);

  /// The consent object for a request; clears the change mark.
  JSON getAndFlush();
  /// The same object, leaving the change mark as it is.
  JSON consentData() const;

 private:
  void saveAllValues();
  void loadStrings();

  const std::string prefKeyState = "consentState";
  const std::string prefKeyStateChange = "consentChanged";
  const std::string prefKeyStateWording = "consentWordingChanged";
  const std::string prefKeyLastChangeTS = "consentLastChangeTs";
  // Present only while set, so a record without consent strings is what it always was.
  const std::string prefKeyTcfString = "consentTcfString";
  const std::string prefKeyGppString = "consentGppString";
  const std::string prefKeyGppSid = "consentGppSid";
  const std::string prefKeyUsPrivacy = "consentUsPrivacy";
  std::shared_ptr<platform::Preferences> prefManager;
  ConsentState state_ = ConsentState::unknown;
  std::string wording_;
  std::int64_t lastChanged_ = 0;
  bool changed_ = false;
  ConsentStrings strings_;
};

}  // namespace zelvora
