#include "DelegateLog.h"

#include <algorithm>

#include "Console.h"

namespace demo {
namespace {
void print(const std::string& line) {
  Console::print("[delegate] " + line + "\n");
}
}  // namespace

void DelegateLog::onInit(const std::vector<std::string>& placementIds) {
  std::string ids;
  for (const auto& id : placementIds) ids += (ids.empty() ? "" : ", ") + id;
  print("onInit [" + ids + "]");
  registered = placementIds;
  initDone = true;
}

void DelegateLog::onInitError(const std::string& message) {
  print("onInitError " + message);
  initError = message;
}

void DelegateLog::onAdFailedToLoadWithReason(const std::string& id, zelvora::ZelError reason,
                                             const std::string& message) {
  record("onAdFailedToLoad", id);
  print("  reason " + std::to_string(static_cast<int>(reason)) + ": " + message);
}

const std::vector<std::string>& DelegateLog::events(const std::string& placement) const {
  static const std::vector<std::string> none;
  const auto found = events_.find(placement);
  return found == events_.end() ? none : found->second;
}

int DelegateLog::count(const std::string& event, const std::string& placement) const {
  const auto& list = events(placement);
  return static_cast<int>(std::count(list.begin(), list.end(), event));
}

void DelegateLog::record(const std::string& event, const std::string& placement) {
  if (!events_.contains(placement)) reported.push_back(placement);
  events_[placement].push_back(event);
  print(event + " " + placement);
}

}  // namespace demo
