#include "adunit/types/mraid/MraidExposure.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace zelvora {
using platform::Rect;

namespace {
std::optional<Rect> intersection(const Rect& a, const Rect& b) {
  const double left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const double right = std::min(a.x + a.width, b.x + b.width);
  const double bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return std::nullopt;
  return Rect{left, top, right - left, bottom - top};
}

bool inside(const Rect& inner, const Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

/// The area the rectangles cover together (overlaps counted once), on the grid of their edges.
double unionArea(const std::vector<Rect>& rects) {
  std::set<double> xs, ys;
  for (const auto& r : rects) {
    xs.insert({r.x, r.x + r.width});
    ys.insert({r.y, r.y + r.height});
  }
  const std::vector<double> gx(xs.begin(), xs.end()), gy(ys.begin(), ys.end());
  double area = 0;
  for (std::size_t i = 0; i + 1 < gx.size(); ++i) {
    for (std::size_t j = 0; j + 1 < gy.size(); ++j) {
      const Rect cell{gx[i], gy[j], gx[i + 1] - gx[i], gy[j + 1] - gy[j]};
      if (std::any_of(rects.begin(), rects.end(), [&](const Rect& r) { return inside(cell, r); }))
        area += cell.width * cell.height;
    }
  }
  return area;
}
}  // namespace

MraidExposure measureExposure(const platform::View& adView, const Rect& screen,
                              const std::vector<Rect>& covers) {
  const Rect frame = adView.frameInRoot();
  const double total = frame.width * frame.height;
  if (total <= 0) return {};
  std::optional<Rect> visible = intersection(frame, screen);
  for (auto parent = adView.superview(); parent && visible; parent = parent->superview()) {
    if (parent->clipsToBounds) visible = intersection(*visible, parent->frameInRoot());
  }
  if (!visible) return {};

  std::vector<Rect> occlusions;
  for (const auto& cover : covers) {
    if (const auto part = intersection(*visible, cover)) occlusions.push_back(*part);
  }
  // A cover inside another adds nothing (a button on the page laid over the ad).
  std::vector<Rect> kept;
  for (std::size_t i = 0; i < occlusions.size(); ++i) {
    bool redundant = false;
    for (std::size_t j = 0; j < occlusions.size() && !redundant; ++j)
      redundant = j != i && inside(occlusions[i], occlusions[j]) &&
                  (occlusions[i] != occlusions[j] || j < i);
    if (!redundant) kept.push_back(occlusions[i]);
  }
  const double seen = visible->width * visible->height - unionArea(kept);
  MraidExposure exposure;
  exposure.percentage = std::clamp(std::round(seen / total * 10000) / 100, 0.0, 100.0);
  if (exposure.percentage <= 0) return {};
  const auto local = [&](Rect r) { return Rect{r.x - frame.x, r.y - frame.y, r.width, r.height}; };
  exposure.visible = local(*visible);
  for (const auto& r : kept) exposure.occlusions.push_back(local(r));
  return exposure;
}

}  // namespace zelvora
