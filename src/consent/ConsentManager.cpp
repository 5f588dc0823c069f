#include "consent/ConsentManager.h"

#include <cmath>
#include <cstdint>

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

JSON ConsentManager::consentData() const {
  JSON object = JSON::object();
  object["state"] = serverText(state_);
  object["changed"] = changed_;
  if (changed_) {
    object["wording"] = wording_;
    object["lastChangedTs"] = lastChanged_;
  }
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
