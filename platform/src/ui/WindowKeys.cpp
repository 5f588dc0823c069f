#include <algorithm>

#include "zelvora/platform/ui/ScreenViews.h"
#include "zelvora/platform/ui/Touch.h"
#include "zelvora/platform/ui/WebView.h"
#include "zelvora/platform/ui/Window.h"

namespace zelvora::platform {

std::shared_ptr<View> Window::keyScreen() const {
  const auto stack = viewControllerStack();
  return stack.size() > 1 ? stack.back()->view() : nullptr;
}

std::shared_ptr<View> Window::focusedView() const {
  auto view = focused_.lock();
  const auto screen = keyScreen();
  if (!view || !screen) return nullptr;
  const auto focusable = focusableViews(*this, *screen);
  return std::find(focusable.begin(), focusable.end(), view) != focusable.end() ? view : nullptr;
}

void Window::setFocusedView(const std::shared_ptr<View>& view) {
  focused_ = view;
  if (view && focusedView() != view) focused_.reset();
}

bool Window::handleKey(Key key) {
  const auto screen = keyScreen();
  if (!screen) return false;
  const auto focusable = focusableViews(*this, *screen);
  const auto focused = focusedView();
  switch (key) {
    case Key::escape:
    case Key::back: {
      auto from = focused;
      if (!from) {
        // Nothing focused: the control drawn on top, the last focusable view in the tree.
        from = screen;
        for (const auto& view : visibleViews(*screen))
          if (std::find(focusable.begin(), focusable.end(), view) != focusable.end()) from = view;
      }
      return performEscape(from, *screen);
    }
    case Key::enter:
    case Key::space:
      if (!focused || std::dynamic_pointer_cast<WebView>(focused)) return false;
      return sendTap(focused);
    case Key::tab:
    case Key::right:
    case Key::down:
    case Key::backtab:
    case Key::left:
    case Key::up: {
      if (focusable.empty()) return false;
      const bool forward = key == Key::tab || key == Key::right || key == Key::down;
      const auto count = static_cast<std::ptrdiff_t>(focusable.size());
      const auto at = std::find(focusable.begin(), focusable.end(), focused) - focusable.begin();
      std::ptrdiff_t next = forward ? 0 : count - 1;
      if (at < count) next = (at + (forward ? 1 : count - 1)) % count;
      focused_ = focusable[static_cast<std::size_t>(next)];
      return true;
    }
  }
  return false;
}

}  // namespace zelvora::platform
