#include "PagePointer.h"

#include "PageScript.h"
#include "zelvora/Json.h"

namespace demo {
namespace {

constexpr const char* kCallToActionProbe = R"JS(return (function () {
  var candidates = document.querySelectorAll(
      'a[href], button, input[type=submit], input[type=button], [onclick]');
  for (var i = 0; i < candidates.length; ++i) {
    var box = candidates[i].getBoundingClientRect();
    if (box.width > 0 && box.height > 0 && box.top < innerHeight && box.left < innerWidth)
      return JSON.stringify({x: box.left + box.width / 2, y: box.top + box.height / 2,
                             what: candidates[i].tagName.toLowerCase() + ' "' +
                                   candidates[i].textContent.trim() + '"'});
  }
  return "";
})())JS";

/// How long the web process gets to answer a pointer move while sweeping.
constexpr double kMoveSeconds = 0.03;
/// How long the pointer rests before trusting what WebKit last reported under it.
constexpr double kRestSeconds = 0.25;
constexpr double kSweepStep = 10;

}  // namespace

PagePointer::PagePointer(WebKitWebView* page, zelvora::platform::gtk::GtkMainQueue& queue)
    : page_(WEBKIT_WEB_VIEW(g_object_ref(page))), queue_(queue) {
  handler_ = g_signal_connect(page_, "mouse-target-changed", G_CALLBACK(&onMouseTarget), this);
}

PagePointer::~PagePointer() {
  g_signal_handler_disconnect(page_, handler_);
  g_object_unref(page_);
}

void PagePointer::onMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) {
  auto& pointer = *static_cast<PagePointer*>(self);
  pointer.overLink_ = webkit_hit_test_result_context_is_link(hit);
  const char* uri = webkit_hit_test_result_get_link_uri(hit);
  pointer.linkUri_ = uri ? uri : "";
}

PagePointer::Target PagePointer::callToAction() {
  Target target;
  const bool scripts = webkit_settings_get_enable_javascript(webkit_web_view_get_settings(page_));
  if (scripts ? findByScript(target) : findLink(target)) return target;
  GtkWidget* widget = GTK_WIDGET(page_);
  target.x = gtk_widget_get_allocated_width(widget) / 2.0;
  target.y = gtk_widget_get_allocated_height(widget) / 2.0;
  target.what = "the page";
  return target;
}

bool PagePointer::findByScript(Target& target) {
  const auto text = runPageScript(page_, kCallToActionProbe, queue_, 5);
  if (!text || text->empty()) return false;
  const auto box = zelvora::JSON::parse(*text, nullptr, false);
  if (!box.is_object() || !box["x"].is_number() || !box["y"].is_number()) return false;
  target.x = box["x"].get<double>();
  target.y = box["y"].get<double>();
  target.what = box.value("what", "an element");
  return true;
}

bool PagePointer::findLink(Target& target) {
  GtkWidget* widget = GTK_WIDGET(page_);
  const double x = gtk_widget_get_allocated_width(widget) / 2.0;
  const double height = gtk_widget_get_allocated_height(widget);
  for (double y = kSweepStep / 2; y < height; y += kSweepStep) {
    moveTo(x, y, kMoveSeconds);
    if (!overLink_) continue;
    // WebKit reports a change of target a moment after the move: at rest, what it reported
    // last is what lies under the pointer.
    moveTo(x, y, kRestSeconds);
    if (!overLink_) continue;
    target = {x, y, "the link to " + linkUri_};
    return true;
  }
  return false;
}

void PagePointer::click(const Target& target) {
  moveTo(target.x, target.y, kMoveSeconds);
  send(GDK_BUTTON_PRESS, target.x, target.y);
  queue_.runUntil([] { return false; }, 0.05);
  send(GDK_BUTTON_RELEASE, target.x, target.y);
}

void PagePointer::moveTo(double x, double y, double settleSeconds) {
  send(GDK_MOTION_NOTIFY, x, y);
  queue_.runUntil([] { return false; }, settleSeconds);
}

void PagePointer::send(GdkEventType type, double x, double y) {
  GtkWidget* widget = GTK_WIDGET(page_);
  GdkWindow* window = gtk_widget_get_window(widget);
  if (!window) return;
  if (!gtk_widget_get_has_window(widget)) {
    // The widget draws in its parent's window: coordinates are that window's.
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    x += allocation.x;
    y += allocation.y;
  }
  int rootX = 0, rootY = 0;
  gdk_window_get_root_coords(window, static_cast<int>(x), static_cast<int>(y), &rootX, &rootY);
  const auto time = static_cast<guint32>(g_get_monotonic_time() / 1000);

  GdkEvent* event = gdk_event_new(type);
  if (type == GDK_MOTION_NOTIFY) {
    auto& motion = event->motion;
    motion.window = GDK_WINDOW(g_object_ref(window));
    motion.time = time;
    motion.x = x;
    motion.y = y;
    motion.x_root = rootX;
    motion.y_root = rootY;
  } else {
    auto& button = event->button;
    button.window = GDK_WINDOW(g_object_ref(window));
    button.time = time;
    button.x = x;
    button.y = y;
    button.x_root = rootX;
    button.y_root = rootY;
    button.button = 1;
    button.state = type == GDK_BUTTON_RELEASE ? GDK_BUTTON1_MASK : 0;
  }
  GdkDevice* pointer =
      gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window)));
  gdk_event_set_device(event, pointer);
  gdk_event_set_source_device(event, pointer);
  gtk_main_do_event(event);
  gdk_event_free(event);
}

}  // namespace demo
