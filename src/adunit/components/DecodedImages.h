#pragma once

#include <cstddef>
#include <memory>

namespace zelvora {

class Banner;

/// The decoded pictures of banners, held within a budget (`AdSettings::decodedImageBudgetMiB`):
/// past it, the banners not on screen that decoded theirs least recently let them go, so any
/// number of banner ads takes the budget's memory, not a picture's each. Main thread only.
namespace DecodedImages {

/// `banner` holds a decoded picture now: it becomes the most recent, and the budget is kept.
void decoded(const std::shared_ptr<Banner>& banner);
/// 0: no budget.
void setBudget(std::size_t bytes);
/// What the decoded pictures of live banners take now.
std::size_t heldBytes();
/// Forgets every banner and restores the default budget (a process's fresh start).
void reset();

}  // namespace DecodedImages
}  // namespace zelvora
