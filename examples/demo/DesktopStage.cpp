#include "DesktopStage.h"

#include <algorithm>
#include <cmath>

#include "PagePointer.h"
#include "PageScript.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/ScreenViews.h"
#include "zelvora/platform/ui/Touch.h"

namespace demo {
namespace {
using zelvora::platform::View;
using zelvora::platform::WebView;

/// How long a page gets to load, and to act on a click, before the user moves on.
constexpr double kPageSeconds = 5;
/// Enough for the tasks the platform posts on an event to have run.
constexpr double kReportSeconds = 0.1;
/// Enough for WebKit to draw a page it has laid out.
constexpr double kPaintSeconds = 0.3;
/// Ends once the page has begun two animation frames: the first frame's drawing is done.
constexpr const char* kTwoFrames =
    "await new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)));";

/// What the window shows: the key window's views.
std::shared_ptr<View> screen() {
  return zelvora::platform::Application::shared().keyWindow();
}

template <class T>
std::vector<std::shared_ptr<T>> onScreen() {
  const auto window = screen();
  return window ? zelvora::platform::visibleViewsOfType<T>(*window)
                : std::vector<std::shared_ptr<T>>{};
}
}  // namespace

DesktopStage::DesktopStage(zelvora::platform::HostEnvironment environment,
                           zelvora::platform::gtk::UrlMode urls,
                           std::optional<zelvora::platform::Size> window)
    // The base only keeps the reference: the platform is built before it is used.
    : Stage(platform_), platform_(std::move(environment), urls) {
  // The tour and its person watch the window from the start, before any ad.
  platform_.showWindow();
  if (!window) return;
  gtk_window_resize(platform_.gtkWindow(), static_cast<int>(window->width),
                    static_cast<int>(window->height));
  // The model takes the window's size in a main-queue task of its own.
  runUntil([&] { return screen() && screen()->frame.size() == *window; }, kPageSeconds);
}

bool DesktopStage::runUntil(const std::function<bool()>& done, double seconds) {
  return platform_.mainQueue().runUntil(done, seconds);
}

bool DesktopStage::waitFor(const std::function<bool()>& done, double seconds) {
  return runUntil(done, seconds);
}

void DesktopStage::pause(double seconds) {
  runUntil([] { return false; }, seconds);
}

bool DesktopStage::pauseUntil(const std::function<bool()>& done, double seconds) {
  return runUntil(done, seconds);
}

bool DesktopStage::snapshot(const std::filesystem::path& file) {
  runUntil([&] { return pagesUp(true); }, kPageSeconds);
  // WebKit tells no one when a page it loaded has reached the screen; a page that runs scripts
  // has painted once two animation frames have begun. Then the window has to draw it.
  for (const auto& webView : onScreen<WebView>()) {
    if (WebKitWebView* page = platform_.webEngine().pageOf(*webView))
      runPageScript(page, kTwoFrames, platform_.mainQueue(), kPageSeconds);
  }
  pause(kPaintSeconds);
  return platform_.screenshot(file);
}

bool DesktopStage::tap(const std::shared_ptr<View>& view) {
  const auto window = zelvora::platform::Application::shared().keyWindow();
  if (!view || !window || !view->isDescendant(*window)) return false;
  return zelvora::platform::sendTap(view);
}

std::optional<std::string> DesktopStage::tapPage(const std::shared_ptr<WebView>& webView) {
  WebKitWebView* page = webView ? platform_.webEngine().pageOf(*webView) : nullptr;
  if (!page) return std::nullopt;
  // The click lands on what the window shows: the page must be up and laid out.
  if (!runUntil(
          [&] {
            return gtk_widget_get_mapped(GTK_WIDGET(page)) && !webkit_web_view_is_loading(page);
          },
          kPageSeconds))
    return std::nullopt;

  const auto& urls = platform_.urlHandler().openedUrls();
  const auto opened = urls.size();
  PagePointer pointer(page, platform_.mainQueue());
  const auto target = pointer.callToAction();
  pointer.click(target);
  const auto handedOver = [&] { return urls.size() > opened; };
  const auto clickThrough = [&] { return findById("click-through") != nullptr; };
  if (!runUntil([&] { return handedOver() || clickThrough(); }, kPageSeconds)) return std::nullopt;

  const std::string where = "clicked " + target.what + " at (" +
                            std::to_string(std::lround(target.x)) + ", " +
                            std::to_string(std::lround(target.y)) + ")";
  if (handedOver()) return where + ": the system was handed " + urls.back();
  return where + ": the click-through opened";
}

void DesktopStage::letPagesLoad() {
  runUntil([&] { return pagesUp(false); }, kPageSeconds);
  // WebKit's reports reach the model in main-queue tasks of their own.
  pause(kReportSeconds);
}

bool DesktopStage::pagesUp(bool shown) {
  const auto webViews = onScreen<WebView>();
  return std::all_of(webViews.begin(), webViews.end(), [&](const auto& webView) {
    WebKitWebView* page = platform_.webEngine().pageOf(*webView);
    return page && !webkit_web_view_is_loading(page) &&
           (!shown || gtk_widget_get_mapped(GTK_WIDGET(page)));
  });
}

bool DesktopStage::rotate(zelvora::platform::InterfaceOrientation orientation) {
  if (!zelvora::platform::Application::shared().rotate(orientation)) return false;
  // The desktop window follows the model on its next frame.
  const auto window = zelvora::platform::Application::shared().keyWindow();
  GtkWidget* canvas = platform_.canvas();
  runUntil(
      [&] {
        return !window ||
               (std::lround(window->frame.width) == gtk_widget_get_allocated_width(canvas) &&
                std::lround(window->frame.height) == gtk_widget_get_allocated_height(canvas));
      },
      2);
  return true;
}

}  // namespace demo
