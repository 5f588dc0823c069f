#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"

namespace demo {

/// The host's delegate: prints every callback and keeps each placement's events in order; a
/// failed load is one of them ("onAdFailedToLoad"), printed with why.
class DelegateLog : public zelvora::ZelExtendedEventDelegate {
 public:
  void onInit(const std::vector<std::string>& placementIds) override;
  void onInitError(const std::string& message) override;
  void onNoAds(const std::string& id) override { record("onNoAds", id); }
  void onAdReady(const std::string& id) override { record("onAdReady", id); }
  void onAdShown(const std::string& id) override { record("onAdShown", id); }
  void onAdFailedToShow(const std::string& id) override { record("onAdFailedToShow", id); }
  void onAdClose(const std::string& id) override { record("onAdClose", id); }
  void onAdClick(const std::string& id) override { record("onAdClick", id); }
  void onAdFailedToLoadWithReason(const std::string& id, zelvora::ZelError reason,
                                  const std::string& message) override;

  /// The events reported for `placement`, in order ("onAdReady", "onAdShown", ...).
  const std::vector<std::string>& events(const std::string& placement) const;
  /// How often `event` was reported for `placement`.
  int count(const std::string& event, const std::string& placement) const;

  bool initDone = false;
  std::optional<std::string> initError;
  /// The placements onInit listed: the ones the SDK registered.
  std::vector<std::string> registered;
  /// Every placement that was reported anything, in the order of its first event.
  std::vector<std::string> reported;

 private:
  void record(const std::string& event, const std::string& placement);

  std::map<std::string, std::vector<std::string>> events_;
};

}  // namespace demo
