#include "capi/CallbackBridge.h"

#include <vector>

namespace zelvora::capi {

void CallbackBridge::onInit(const std::vector<std::string>& placementIds) {
  if (!callbacks_.on_init) return;
  std::vector<const char*> ids;
  ids.reserve(placementIds.size() + 1);
  for (const auto& id : placementIds) ids.push_back(id.c_str());
  ids.push_back(nullptr);  // also NULL-terminated, for hosts that prefer that
  callbacks_.on_init(ids.data(), placementIds.size(), user_);
}

void CallbackBridge::onInitErrorWithReason(ZelError reason, const std::string& message) {
  if (callbacks_.on_init_error)
    callbacks_.on_init_error(static_cast<zelvora_status>(reason), message.c_str(), user_);
}

void CallbackBridge::onAdFailedToShowWithReason(const std::string& id, ZelError reason,
                                                const std::string& message) {
  if (callbacks_.on_ad_failed_to_show)
    callbacks_.on_ad_failed_to_show(id.c_str(), static_cast<zelvora_status>(reason),
                                    message.c_str(), user_);
}

void CallbackBridge::onNoAdsWithReason(const std::string& id, ZelError reason,
                                       const std::string& message) {
  // Read at the call: the host may set it after its callbacks.
  const auto target = noAdsReasonCallback();
  if (target.callback)
    target.callback(id.c_str(), static_cast<zelvora_status>(reason), message.c_str(), target.user);
}

void CallbackBridge::onAdWillPresentScreen(const std::string& id) {
  const auto target = screenCallbacks();
  if (target.willPresent) target.willPresent(id.c_str(), target.user);
}

void CallbackBridge::onAdDidDismissScreen(const std::string& id) {
  const auto target = screenCallbacks();
  if (target.didDismiss) target.didDismiss(id.c_str(), target.user);
}

void CallbackBridge::onAdFailedToLoadWithReason(const std::string& id, ZelError reason,
                                                const std::string& message) {
  const auto target = loadCallbacks();
  if (target.failedToLoad)
    target.failedToLoad(id.c_str(), static_cast<zelvora_status>(reason), message.c_str(),
                        target.user);
}

void CallbackBridge::onAdReadyAgain(const std::string& id) {
  const auto target = loadCallbacks();
  if (target.readyAgain) target.readyAgain(id.c_str(), target.user);
}

LoadCallbacks& loadCallbacks() {
  static LoadCallbacks callbacks;
  return callbacks;
}

ScreenCallbacks& screenCallbacks() {
  static ScreenCallbacks callbacks;
  return callbacks;
}

NoAdsReasonCallback& noAdsReasonCallback() {
  static NoAdsReasonCallback callback;
  return callback;
}

}  // namespace zelvora::capi
