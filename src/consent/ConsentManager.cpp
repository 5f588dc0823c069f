#include "consent/ConsentManager.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "consent/ConsentStringsCheck.h"
#include "util/Time.h"

namespace zelvora {

ConsentManager::ConsentManager() : prefManager(platform::Preferences::open(suiteName)) {
  if (!prefManager) return;
  // A stored number outside 0 to 3 reads as unknown; the next save repairs it.
  state_ =
      consentStateFromRawValue(prefManager->integer(prefKeyState)).value_or(ConsentState::unknown);
  wording_ = prefManager->string(prefKeyStateWording).value_or("");
  lastChanged_ = prefManager->integer(prefKeyLastChangeTS);
  changed_ = prefManager->boolean(prefKeyStateChange);
  loadStrings();
}

void ConsentManager::loadStrings() {
  ConsentStrings stored;
  stored.tcfString = prefManager->string(prefKeyTcfString).value_or("");
  stored.gppString = prefManager->string(prefKeyGppString).value_or("");
  stored.usPrivacy = prefManager->string(prefKeyUsPrivacy).value_or("");
  // A set that does not read back valid (an edited file) reads as none, not half of it.
  if (const auto ids = prefManager->object(prefKeyGppSid)) {
    if (!ids->is_array()) return;
    for (const auto& id : *ids) {
      if (!id.is_number_integer() || id.get<std::int64_t>() < 1 || id.get<std::int64_t>() > INT_MAX)
        return;
      stored.gppSectionIds.push_back(static_cast<int>(id.get<std::int64_t>()));
    }
  }
  if (!whyInvalid(stored)) strings_ = std::move(stored);
}

void ConsentManager::set(ConsentState state, const std::string& wording, std::int64_t dateTime) {
  // A new state with the same wording (a withdrawal under the same dialog) is a change too.
  if (state == state_ && wording == wording_) return;
  changed_ = true;
  state_ = state;
  wording_ = wording;
  // Saturate instead of overflowing on absurd timestamps.
  if (__builtin_mul_overflow(dateTime, 1000, &lastChanged_))
    lastChanged_ = dateTime < 0 ? INT64_MIN : INT64_MAX;
  saveAllValues();
}

void ConsentManager::resetState() {
  changed_ = true;
  state_ = ConsentState::unknown;
  wording_.clear();
  lastChanged_ = static_cast<std::int64_t>(std::trunc(currentTime())) * 1000;
  saveAllValues();
}

std::optional<std::string> ConsentManager::setStrings(const ConsentStrings& strings) {
  if (auto why = whyInvalid(strings)) return why;
  if (strings == strings_) return std::nullopt;
  strings_ = strings;
  if (!prefManager) return std::nullopt;
  // All four in one replace, a null removing a key: never the strings of two calls mixed.
  const auto orNull = [](const auto& value) {
    return value.empty() ? nlohmann::json() : nlohmann::json(value);
  };
  prefManager->setValues({{prefKeyTcfString, orNull(strings_.tcfString)},
                          {prefKeyGppString, orNull(strings_.gppString)},
                          {prefKeyGppSid, orNull(strings_.gppSectionIds)},
                          {prefKeyUsPrivacy, orNull(strings_.usPrivacy)}});
  return std::nullopt;
}

JSON ConsentManager::consentData() const {
  JSON object = JSON::object();
  object["state"] = serverText(state_);
  object["changed"] = changed_;
  if (changed_) {
    object["wording"] = wording_;
    object["lastChangedTs"] = lastChanged_;
  }
  // Only those set: without them the object is what it always was.
  if (!strings_.tcfString.empty()) object["tcfString"] = strings_.tcfString;
  if (!strings_.gppString.empty()) object["gppString"] = strings_.gppString;
  if (!strings_.gppSectionIds.empty()) object["gppSid"] = strings_.gppSectionIds;
  if (!strings_.usPrivacy.empty()) object["usPrivacy"] = strings_.usPrivacy;
  return object;
}

JSON ConsentManager::getAndFlush() {
  JSON object = consentData();
  if (changed_) {
    changed_ = false;
    if (prefManager) prefManager->setBoolean(prefKeyStateChange, false);
  }
  return object;
}

void ConsentManager::saveAllValues() {
  if (!prefManager) return;
  // One replace of the file: a crash between separate writes would leave a record mixing
  // two decisions.
  prefManager->setValues({{prefKeyState, static_cast<int>(state_)},
                          {prefKeyStateChange, changed_},
                          {prefKeyStateWording, wording_},
                          {prefKeyLastChangeTS, lastChanged_}});
}

}  // namespace zelvora
