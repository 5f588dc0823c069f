#include "zelvora/platform/ui/Keyboard.h"

#include <algorithm>
#include <cmath>

#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/GestureRecognizer.h"
#include "zelvora/platform/ui/Touch.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform {
namespace {

bool answersActivation(const View& view) {
  if (auto button = dynamic_cast<const Button*>(&view)) return button->isEnabled;
  if (dynamic_cast<const WebView*>(&view)) return true;
  const auto& recognizers = view.gestureRecognizers();
  return std::any_of(recognizers.begin(), recognizers.end(),
                     [](const auto& recognizer) { return recognizer->isEnabled; });
}

/// Whether a finger could touch `view` somewhere: at its middle or the middle of a quarter. A
/// control under another view (a landing page over the ad) is out of reach; a page with a
/// spinner over its middle is not.
bool reachable(const View& window, const std::shared_ptr<View>& view) {
  const Rect frame = view->frameInRoot();
  const double w = frame.width, h = frame.height;
  for (const Point point :
       {frame.center(), Point{frame.x + w / 4, frame.y + h / 4},
        Point{frame.x + 3 * w / 4, frame.y + h / 4}, Point{frame.x + w / 4, frame.y + 3 * h / 4},
        Point{frame.x + 3 * w / 4, frame.y + 3 * h / 4}}) {
    const auto hit = hitTest(window, point);
    if (hit && (hit == view || hit->isDescendant(*view))) return true;
  }
  return false;
}

void collect(const std::shared_ptr<View>& view, const View& window,
             std::vector<std::shared_ptr<View>>& out) {
  if (view->isHidden) return;
  if (answersActivation(*view) && takesTouchesInTree(*view) && reachable(window, view))
    out.push_back(view);
  for (const auto& child : view->subviews()) collect(child, window, out);
}

}  // namespace

std::vector<std::shared_ptr<View>> focusableViews(const View& window, const View& screen) {
  std::vector<std::shared_ptr<View>> views;
  for (const auto& child : screen.subviews()) collect(child, window, views);
  // Rows first; points, so that a fraction of a point does not reorder a row.
  std::stable_sort(views.begin(), views.end(), [](const auto& a, const auto& b) {
    const Rect first = a->frameInRoot(), second = b->frameInRoot();
    const double rowA = std::round(first.y), rowB = std::round(second.y);
    if (rowA != rowB) return rowA < rowB;
    return std::round(first.x) < std::round(second.x);
  });
  return views;
}

bool performEscape(const std::shared_ptr<View>& from, const View& screen) {
  // Copies: an answer may close the screen and release the views.
  for (auto view = from; view; view = view->superview()) {
    if (const auto perform = view->accessibilityPerformEscape; perform && perform()) return true;
    if (view.get() == &screen) break;
  }
  return false;
}

}  // namespace zelvora::platform
