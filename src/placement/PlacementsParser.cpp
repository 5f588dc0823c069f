#include "placement/PlacementsParser.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "ControllerAccess.h"
#include "net/JsonReading.h"
#include "placement/Placement.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
namespace {

void parsePlacement(const std::string& placementId, JSON&& placementObject) {
  const JSON& list = member(placementObject, "ads");
  if (!list.is_array() || list.empty()) {
    internal::ControllerAccess::triggerPlacementEvent(Event::noAds, placementId);
    return;
  }
  const JSON& firstAd = member(list[0], "ad");
  if (stringValue(member(firstAd, "type")) != "interstitial") return;
  if (stringValue(member(firstAd, "subtype")) == "interactive") return;

  auto placement = std::make_shared<Placement>(placementId);
  placement->setup(std::move(placementObject));
  internal::ControllerAccess::placements().insertOrAssign(placementId, std::move(placement));
}

/// An answer's placements on their way in: `next` is the next one to register, and `index` its
/// position (an array's placement id). The object's entries keep their place while their values
/// move out.
struct Registration {
  JSON placements;
  JSON::iterator next;
  std::size_t index = 0;
  std::function<void()> done;
  std::function<std::uint64_t()> generation;
  std::uint64_t current = 0;

  bool finished() const { return next == placements.end(); }
  bool superseded() const { return generation && generation() != current; }
  void registerNext() {
    parsePlacement(placements.is_array() ? std::to_string(index) : next.key(),
                   std::move(next.value()));
    ++next;
    ++index;
  }
};

void registerSlice(const std::shared_ptr<Registration>& job) {
  if (job->superseded()) return;
  using Clock = std::chrono::steady_clock;
  const auto end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(PlacementsParser::kSliceSeconds));
  while (!job->finished()) {
    job->registerNext();
    // A placement's callbacks may have reset the SDK meanwhile.
    if (job->superseded()) return;
    if (Clock::now() >= end && !job->finished()) {
      platform::mainQueue().post([job] { registerSlice(job); });
      return;
    }
  }
  // What is left of the answer (its keys) goes in a task of its own.
  platform::mainQueue().post([husk = std::move(job->placements)] {});
  if (job->done) job->done();
}

}  // namespace

void PlacementsParser::parseData(JSON placementsObject, std::function<void()> done,
                                 std::function<std::uint64_t()> generation, std::uint64_t current) {
  auto job = std::make_shared<Registration>();
  if (placementsObject.is_object() || placementsObject.is_array())
    job->placements = std::move(placementsObject);
  job->next = job->placements.begin();
  // Growing the registry would move every entry at once, in whichever slice it fell.
  auto& registry = internal::ControllerAccess::placements();
  registry.reserve(registry.size() + job->placements.size());
  job->done = std::move(done);
  job->generation = std::move(generation);
  job->current = current;
  registerSlice(job);
}

}  // namespace zelvora
