#pragma once

#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/zelvora.h"

namespace zelvora::capi {

/// The host's no-ads reason callback, beside the callbacks of major version 1.
struct NoAdsReasonCallback {
  zelvora_no_ads_reason_callback callback = nullptr;
  void* user = nullptr;
};
NoAdsReasonCallback& noAdsReasonCallback();

/// The host's pause and resume around an ad's screens.
struct ScreenCallbacks {
  zelvora_placement_callback willPresent = nullptr;
  zelvora_placement_callback didDismiss = nullptr;
  void* user = nullptr;
};
ScreenCallbacks& screenCallbacks();

/// The host's callbacks of loading: a failed attempt with why, and ready again.
struct LoadCallbacks {
  zelvora_no_ads_reason_callback failedToLoad = nullptr;
  zelvora_placement_callback readyAgain = nullptr;
  void* user = nullptr;
};
LoadCallbacks& loadCallbacks();

/// The controller's delegate on behalf of a C host: each event becomes a call of the host's
/// function pointer with its user pointer. The SDK calls delegates on the main thread only, so
/// the host's functions run there too. The failures' callbacks carry their reasons, so they are
/// made from the reasons' calls, which follow the plain ones at once.
class CallbackBridge final : public ZelExtendedEventDelegate {
 public:
  CallbackBridge(const zelvora_callbacks& callbacks, void* user)
      : callbacks_(callbacks), user_(user) {}

  void onInit(const std::vector<std::string>& placementIds) override;
  void onInitError(const std::string&) override {}
  void onInitErrorWithReason(ZelError reason, const std::string& message) override;
  void onNoAds(const std::string& id) override { call(callbacks_.on_no_ads, id); }
  void onNoAdsWithReason(const std::string& id, ZelError reason,
                         const std::string& message) override;
  void onAdReady(const std::string& id) override { call(callbacks_.on_ad_ready, id); }
  void onAdShown(const std::string& id) override { call(callbacks_.on_ad_shown, id); }
  void onAdFailedToShow(const std::string&) override {}
  void onAdFailedToShowWithReason(const std::string& id, ZelError reason,
                                  const std::string& message) override;
  void onAdClose(const std::string& id) override { call(callbacks_.on_ad_close, id); }
  void onAdClick(const std::string& id) override { call(callbacks_.on_ad_click, id); }
  void onAdFailedToLoadWithReason(const std::string& id, ZelError reason,
                                  const std::string& message) override;
  void onAdReadyAgain(const std::string& id) override;
  void onAdWillPresentScreen(const std::string& id) override;
  void onAdDidDismissScreen(const std::string& id) override;

 private:
  void call(void (*callback)(const char*, void*), const std::string& id) const {
    if (callback) callback(id.c_str(), user_);
  }

  // Fixed at creation: a host replacing its callbacks from inside one gets a new bridge, and
  // this one stays whole until the call returns.
  const zelvora_callbacks callbacks_;
  void* const user_;
};

}  // namespace zelvora::capi
