#include "adunit/components/DecodedImages.h"

#include <iterator>
#include <list>

#include "adunit/components/Banner.h"
#include "zelvora/AdSettings.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::DecodedImages {
namespace {

std::size_t bytesOf(double mebibytes) {
  return static_cast<std::size_t>(mebibytes * 1024 * 1024);
}

struct Registry {
  /// Least recently decoded first.
  std::list<std::weak_ptr<Banner>> banners;
  std::size_t budget = bytesOf(AdSettings{}.decodedImageBudgetMiB);
};

Registry& registry() {
  static Registry instance;
  return instance;
}

bool onScreen(const Banner& banner) {
  const auto window = platform::Application::shared().keyWindow();
  return window && banner.imageView && banner.imageView->isDescendant(*window);
}

void keepWithinBudget() {
  auto& banners = registry().banners;
  if (registry().budget == 0) return;
  std::size_t held = heldBytes();
  // The most recent keeps its picture whatever the budget: it was decoded to be shown.
  const auto last = banners.empty() ? banners.end() : std::prev(banners.end());
  for (auto it = banners.begin(); it != last && held > registry().budget; ++it) {
    const auto banner = it->lock();
    if (!banner || onScreen(*banner)) continue;
    held -= banner->decodedBytes();
    banner->dropDecoded();
  }
}

}  // namespace

void decoded(const std::shared_ptr<Banner>& banner) {
  auto& banners = registry().banners;
  banners.remove_if([&](const std::weak_ptr<Banner>& entry) {
    const auto live = entry.lock();
    return !live || live == banner || live->decodedBytes() == 0;
  });
  banners.push_back(banner);
  keepWithinBudget();
}

void setBudget(std::size_t bytes) {
  registry().budget = bytes;
  keepWithinBudget();
}

std::size_t heldBytes() {
  std::size_t held = 0;
  for (const auto& entry : registry().banners) {
    if (const auto banner = entry.lock()) held += banner->decodedBytes();
  }
  return held;
}

void reset() {
  registry() = {};
}

}  // namespace zelvora::DecodedImages
