#include "zelvora/platform/gtk/NativeLayer.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zelvora::platform::gtk {
namespace {

/// Below this alpha a view is not seen.
constexpr double transparent = 0.01;

/// The opacity `anchor` shows with, or none when it is not seen in `window` (see NativeLayer).
std::optional<double> shownOpacity(const std::shared_ptr<View>& anchor, const View& window) {
  double opacity = 1;
  std::shared_ptr<View> screen;
  for (auto view = anchor; view.get() != &window; view = view->superview()) {
    if (!view || view->isHidden || !(view->alpha > transparent)) return std::nullopt;
    opacity *= std::min(view->alpha, 1.0);
    screen = view;
  }
  if (!screen) return std::nullopt;  // the anchor is the window itself
  const auto& screens = window.subviews();
  const auto top = std::find_if(screens.rbegin(), screens.rend(),
                                [](const auto& view) { return !view->isHidden; });
  if (top == screens.rend() || *top != screen) return std::nullopt;
  return opacity;
}

}  // namespace

NativeLayer::NativeLayer(GtkFixed* fixed) : fixed_(fixed) {}

NativeLayer::~NativeLayer() {
  while (!entries_.empty()) detach(entries_.back().widget);
}

void NativeLayer::attach(GtkWidget* widget, std::weak_ptr<View> anchor) {
  ++changes_;
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [widget](const Entry& entry) { return entry.widget == widget; });
  if (it != entries_.end()) {
    it->anchor = std::move(anchor);
    return;
  }
  g_object_ref_sink(widget);
  // Hidden until the next update has placed it.
  gtk_widget_hide(widget);
  gtk_fixed_put(fixed_, widget, 0, 0);
  entries_.push_back({widget, std::move(anchor)});
}

void NativeLayer::allocateUnseen(GtkWidget* widget) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [widget](const Entry& entry) { return entry.widget == widget; });
  if (it == entries_.end() || gtk_widget_get_visible(widget)) return;
  const auto anchor = it->anchor.lock();
  if (!anchor) return;
  const int width = static_cast<int>(std::lround(anchor->frame.width));
  const int height = static_cast<int>(std::lround(anchor->frame.height));
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  if (width <= 0 || height <= 0 || (allocation.width == width && allocation.height == height))
    return;
  // Shown unmapped for the time of one allocation, then hidden again: the size stays with the
  // widget, while a hidden page costs the web process far less memory than a shown one.
  gtk_widget_set_size_request(widget, width, height);
  gtk_widget_set_child_visible(widget, FALSE);
  gtk_widget_show(widget);
  gtk_widget_get_preferred_size(widget, nullptr, nullptr);  // GTK allocates only the measured
  allocation.width = width;
  allocation.height = height;
  gtk_widget_size_allocate(widget, &allocation);
  gtk_widget_hide(widget);
  gtk_widget_set_child_visible(widget, TRUE);
}

void NativeLayer::detach(GtkWidget* widget) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [widget](const Entry& entry) { return entry.widget == widget; });
  if (it == entries_.end()) return;
  ++changes_;
  entries_.erase(it);
  gtk_container_remove(GTK_CONTAINER(fixed_), widget);
  g_object_unref(widget);
}

bool NativeLayer::isAttached(GtkWidget* widget) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [widget](const Entry& entry) { return entry.widget == widget; });
}

std::optional<NativeLayer::Placement> NativeLayer::place(const Entry& entry, const View& window) {
  auto anchor = entry.anchor.lock();
  const auto opacity = anchor ? shownOpacity(anchor, window) : std::nullopt;
  if (!opacity) return std::nullopt;
  Rect frame = anchor->frameInRoot();
  frame.x -= window.frame.x;
  frame.y -= window.frame.y;
  // Whole pixels, from the rounded edges, so that neighbours neither overlap nor gap.
  const long left = std::lround(frame.x), top = std::lround(frame.y);
  const long width = std::lround(frame.x + frame.width) - left;
  const long height = std::lround(frame.y + frame.height) - top;
  if (width <= 0 || height <= 0) return std::nullopt;
  const GdkRectangle area{static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                          static_cast<int>(height)};
  return Placement{std::move(anchor), area, *opacity};
}

std::vector<NativeLayer::Covered> NativeLayer::covered(const View& window) const {
  std::vector<Covered> views;
  for (const auto& entry : entries_)
    if (auto placement = place(entry, window))
      views.push_back({std::move(placement->anchor), placement->area});
  return views;
}

void NativeLayer::update(const View& window) {
  for (const auto& entry : entries_) {
    GtkWidget* const widget = entry.widget;
    const auto placement = place(entry, window);
    if (!placement) {
      if (gtk_widget_get_visible(widget)) gtk_widget_hide(widget);
      continue;
    }
    const auto& area = placement->area;
    // Each change asks GTK for a new layout, so only real changes are made.
    int placedX = 0, placedY = 0;
    gtk_container_child_get(GTK_CONTAINER(fixed_), widget, "x", &placedX, "y", &placedY, nullptr);
    if (placedX != area.x || placedY != area.y) gtk_fixed_move(fixed_, widget, area.x, area.y);
    int requestedWidth = 0, requestedHeight = 0;
    gtk_widget_get_size_request(widget, &requestedWidth, &requestedHeight);
    if (requestedWidth != area.width || requestedHeight != area.height)
      gtk_widget_set_size_request(widget, area.width, area.height);
    if (gtk_widget_get_opacity(widget) != placement->opacity)
      gtk_widget_set_opacity(widget, placement->opacity);
    if (!gtk_widget_get_visible(widget)) gtk_widget_show(widget);
  }
}

}  // namespace zelvora::platform::gtk
