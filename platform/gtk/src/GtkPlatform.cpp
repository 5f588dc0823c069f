#include "zelvora/platform/gtk/GtkPlatform.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "KeyboardFocus.h"
#include "ModelCanvas.h"
#include "NetworkWatch.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/gtk/GstPlayerEngine.h"
#include "zelvora/platform/media/Gstreamer.h"
#include "zelvora/platform/media/PlayerEngine.h"
#include "zelvora/platform/media/VideoView.h"
#include "zelvora/platform/render/ViewRenderer.h"

// Last: X11's macros would change the names above.
#include <gdk/gdkx.h>

namespace zelvora::platform::gtk {
namespace {

GtkPlatform* instance = nullptr;

int pixels(double points) {
  return static_cast<int>(std::lround(points));
}

/// How much a screen presented over the host's content darkens it where the model does not
/// draw (around a screen of the other shape): as much as an interstitial's own backdrop.
constexpr double kHostDimming = 0.4;

}  // namespace

// The model tells no one of its changes, and everything that changes it runs in a turn of the
// main loop: before the loop waits again, the scene is compared with the one last synced.
struct GtkPlatform::ModelWatch {
  GSource source;
  GtkPlatform* platform;
  bool changed;

  static gboolean prepare(GSource* source, gint* timeout) {
    auto* watch = reinterpret_cast<ModelWatch*>(source);
    *timeout = -1;
    watch->changed = watch->platform->sceneSignature() != watch->platform->syncedSignature_;
    return watch->changed;
  }
  static gboolean check(GSource* source) { return reinterpret_cast<ModelWatch*>(source)->changed; }
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<ModelWatch*>(source)->platform->syncFrame();
    return G_SOURCE_CONTINUE;
  }
};

GtkPlatform* GtkPlatform::current() {
  return instance;
}

GtkPlatform::GtkPlatform(HostEnvironment environment, UrlMode urls, Hosting hosting)
    : hosting_(hosting) {
  if (instance) throw std::logic_error("zelvora: a GtkPlatform is already alive");
  if (!gtk_init_check(nullptr, nullptr))
    throw std::runtime_error("zelvora: GTK cannot open a display (DISPLAY or WAYLAND_DISPLAY)");
  if (hosting_.kind == Hosting::Kind::inside &&
      !(GTK_IS_OVERLAY(hosting_.host) ||
        (GTK_IS_WINDOW(hosting_.host) && gtk_bin_get_child(GTK_BIN(hosting_.host)))))
    throw std::invalid_argument("zelvora: host in a GtkOverlay, or a GtkWindow with content");
  if (hosting_.kind == Hosting::Kind::over) {
    GdkDisplay* display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(display))
      throw std::runtime_error("zelvora: a native window needs GTK on X11");
    gdk_x11_display_error_trap_push(display);
    native_ = gdk_x11_window_foreign_new_for_display(display, hosting_.nativeWindow);
    gdk_x11_display_error_trap_pop_ignored(display);
    if (!native_) throw std::runtime_error("zelvora: the native window is not there");
  }
  // A desktop window, unless the host sized it; hosted, the host's window soon replaces it.
  if (!(environment.screenWidth > 0 && environment.screenHeight > 0)) {
    environment.screenWidth = 1280;
    environment.screenHeight = 720;
  }
  setHostEnvironment(environment);

  buildLayer();
  urlHandler_ = std::make_shared<DesktopUrlHandler>(urls, [this]() -> GtkWindow* {
    if (hosting_.kind == Hosting::Kind::inside) return GTK_WINDOW(hostToplevel_);
    return gtkWindow_;
  });
  if (hosting_.kind == Hosting::Kind::inside) adoptHostWindow();
  if (hosting_.kind == Hosting::Kind::over) watchNativeWindow();

  services_.emplace(BackendServices::Parts{std::move(environment), &mainQueue_, gstPlayerEngines(),
                                           webEngine_, urlHandler_, gstreamerCanPlay});
  window()->addStackObserver([this] { presentationChanged(); });
  network_ = std::make_unique<NetworkWatch>();
  modelSize_ = window()->frame.size();
  // Hosted, the screen is the host's window from the start.
  if (hosting_.kind != Hosting::Kind::ownWindow && allocated_.width > 0 && allocated_.height > 0) {
    Application::shared().screenDidResize(allocated_);
    modelSize_ = allocated_;
  }
  static GSourceFuncs watchFuncs{
      &ModelWatch::prepare, &ModelWatch::check, &ModelWatch::dispatch, nullptr, nullptr, nullptr};
  modelWatch_ = g_source_new(&watchFuncs, sizeof(ModelWatch));
  reinterpret_cast<ModelWatch*>(modelWatch_)->platform = this;
  // Before GTK lays out and paints what the sync changed.
  g_source_set_priority(modelWatch_, G_PRIORITY_HIGH_IDLE + 5);
  g_source_attach(modelWatch_, g_main_context_default());
  instance = this;
  updateVisibility();
}

void GtkPlatform::buildLayer() {
  frame_ = gtk_event_box_new();
  g_object_ref_sink(frame_);
  // Drawn in the window below it, so the host's content shows through where it paints nothing;
  // it still takes every click over the host's content.
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(frame_), FALSE);
  g_signal_connect(frame_, "draw", G_CALLBACK(&GtkPlatform::onFrameDraw), this);
  layer_ = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(frame_), layer_);
  canvas_ = std::make_unique<ModelCanvas>([this] { return keyWindow(); });
  canvas_->setBackdrop([this](cairo_t* cr) { paintHost(cr, canvas_->widget()); });
  gtk_container_add(GTK_CONTAINER(layer_), canvas_->widget());
  // Clicks beside the native widgets fall through to the model below.
  GtkWidget* fixed = gtk_fixed_new();
  gtk_overlay_add_overlay(GTK_OVERLAY(layer_), fixed);
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(layer_), fixed, TRUE);
  nativeLayer_ = std::make_unique<NativeLayer>(GTK_FIXED(fixed));
  // What the model puts over a native widget is drawn again above it, and takes the clicks
  // there; elsewhere they pass through.
  upperCanvas_ = std::make_unique<ModelCanvas>([this] { return keyWindow(); },
                                               [this] {
                                                 auto window = keyWindow();
                                                 return window && nativeLayer_
                                                            ? nativeLayer_->covered(*window)
                                                            : std::vector<NativeLayer::Covered>{};
                                               });
  gtk_overlay_add_overlay(GTK_OVERLAY(layer_), upperCanvas_->widget());
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(layer_), upperCanvas_->widget(), TRUE);
  webEngine_ = std::make_shared<GtkWebEngine>(*nativeLayer_);
  keys_ = std::make_unique<KeyboardFocus>(
      canvas_->widget(), [this] { return keyWindow(); },
      [this](const View& view) -> GtkWidget* {
        const auto* webView = dynamic_cast<const WebView*>(&view);
        WebKitWebView* page = webView ? webEngine_->pageOf(*webView) : nullptr;
        return page ? GTK_WIDGET(page) : nullptr;
      });
  // Shown one by one: the native layer shows and hides its widgets itself.
  for (GtkWidget* widget : {frame_, layer_, canvas_->widget(), fixed, upperCanvas_->widget()})
    gtk_widget_show(widget);
}

void GtkPlatform::adoptHostWindow() {
  if (GTK_IS_OVERLAY(hosting_.host)) {
    hostOverlay_ = hosting_.host;
  } else {
    // The content moves into an overlay of the platform's, which adds nothing to it.
    GtkWidget* content = gtk_bin_get_child(GTK_BIN(hosting_.host));
    g_object_ref(content);
    gtk_container_remove(GTK_CONTAINER(hosting_.host), content);
    hostOverlay_ = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(hostOverlay_), content);
    g_object_unref(content);
    gtk_container_add(GTK_CONTAINER(hosting_.host), hostOverlay_);
    gtk_widget_show(hostOverlay_);
    madeHostOverlay_ = true;
  }
  g_object_ref(hostOverlay_);
  hostToplevel_ = gtk_widget_get_toplevel(hostOverlay_);
  g_object_ref(hostToplevel_);
  if (GTK_IS_WINDOW(hostToplevel_)) keys_->watch(GTK_WINDOW(hostToplevel_));
  g_signal_connect(hostOverlay_, "size-allocate", G_CALLBACK(&GtkPlatform::onSizeAllocate), this);
  // After GTK's own handlers, so that the widget's state is the new one.
  g_signal_connect_after(hostToplevel_, "map", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(hostToplevel_, "unmap", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(hostToplevel_, "window-state-event",
                         G_CALLBACK(&GtkPlatform::onWindowState), this);
  if (gtk_widget_get_realized(hostOverlay_)) {
    allocated_ = {static_cast<double>(gtk_widget_get_allocated_width(hostOverlay_)),
                  static_cast<double>(gtk_widget_get_allocated_height(hostOverlay_))};
  }
}

void GtkPlatform::watchNativeWindow() {
  // Its map, unmap and configure events reach the filter below.
  gdk_window_set_events(
      native_, static_cast<GdkEventMask>(gdk_window_get_events(native_) | GDK_STRUCTURE_MASK));
  gdk_window_add_filter(native_, &GtkPlatform::onNativeEvent, this);
  followNativeWindow();
}

GtkPlatform::~GtkPlatform() {
  instance = nullptr;
  keys_.reset();
  network_.reset();
  g_source_destroy(modelWatch_);
  g_source_unref(modelWatch_);
  // The model goes before the engines that show its pages and videos.
  services_.reset();
  webEngine_.reset();
  nativeLayer_.reset();
  g_clear_object(&hostPicture_);
  if (native_) {
    gdk_window_remove_filter(native_, &GtkPlatform::onNativeEvent, this);
    g_object_unref(native_);
  }
  if (hostOverlay_) {
    g_signal_handlers_disconnect_by_data(hostOverlay_, this);
    g_signal_handlers_disconnect_by_data(hostToplevel_, this);
    // A window the host destroyed first holds none of this any more.
    if (gtk_widget_get_parent(frame_) == hostOverlay_)
      gtk_container_remove(GTK_CONTAINER(hostOverlay_), frame_);
    GtkWidget* content = madeHostOverlay_ ? gtk_bin_get_child(GTK_BIN(hostOverlay_)) : nullptr;
    if (content && gtk_widget_get_parent(hostOverlay_) == hosting_.host) {
      // The host's content goes back where it was.
      g_object_ref(content);
      gtk_container_remove(GTK_CONTAINER(hostOverlay_), content);
      gtk_container_remove(GTK_CONTAINER(hosting_.host), hostOverlay_);
      gtk_container_add(GTK_CONTAINER(hosting_.host), content);
      g_object_unref(content);
    }
    g_object_unref(hostToplevel_);
    g_object_unref(hostOverlay_);
  }
  if (gtkWindow_) gtk_widget_destroy(GTK_WIDGET(gtkWindow_));
  gtk_widget_destroy(frame_);
  g_object_unref(frame_);
}

std::shared_ptr<Window> GtkPlatform::window() const {
  return services_->window();
}

std::shared_ptr<ViewController> GtkPlatform::rootViewController() const {
  return services_->rootViewController();
}

GtkWindow* GtkPlatform::gtkWindow() {
  if (hosting_.kind == Hosting::Kind::inside) return GTK_WINDOW(hostToplevel_);
  return ownWindow();
}

GtkWindow* GtkPlatform::ownWindow() {
  if (gtkWindow_) return gtkWindow_;
  gtkWindow_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_window_set_title(gtkWindow_, "Zelvora");
  gtk_container_add(GTK_CONTAINER(gtkWindow_), frame_);
  keys_->watch(gtkWindow_);
  g_signal_connect(frame_, "size-allocate", G_CALLBACK(&GtkPlatform::onSizeAllocate), this);
  if (hosting_.kind == Hosting::Kind::over) {
    gtk_window_set_decorated(gtkWindow_, FALSE);
    gtk_window_set_skip_taskbar_hint(gtkWindow_, TRUE);
    gtk_window_set_skip_pager_hint(gtkWindow_, TRUE);
    gtk_widget_realize(GTK_WIDGET(gtkWindow_));
    gdk_window_set_transient_for(gtk_widget_get_window(GTK_WIDGET(gtkWindow_)), native_);
    followNativeWindow();
    return gtkWindow_;
  }
  gtk_window_set_default_size(gtkWindow_, pixels(modelSize_.width), pixels(modelSize_.height));
  g_signal_connect(gtkWindow_, "delete-event", G_CALLBACK(&GtkPlatform::onDelete), this);
  // After GTK's own handlers, so that the widget's state is the new one.
  g_signal_connect_after(gtkWindow_, "map", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(gtkWindow_, "unmap", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(gtkWindow_, "window-state-event", G_CALLBACK(&GtkPlatform::onWindowState),
                         this);
  gtk_widget_show(GTK_WIDGET(gtkWindow_));
  frameShown_ = true;
  return gtkWindow_;
}

void GtkPlatform::showWindow() {
  if (hosting_.kind != Hosting::Kind::ownWindow) return;
  gtk_window_present(ownWindow());
}

void GtkPlatform::paintHost(cairo_t* cr, GtkWidget* widget) const {
  // Its own window has no host below it to show.
  if (hosting_.kind == Hosting::Kind::ownWindow) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    return;
  }
  // Inside, GTK has drawn the host's content already. Over a native window, what it showed when
  // the screen came up stands for it: an X11 window cannot be seen through without a compositor.
  if (hostPicture_) {
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(widget, frame_, 0, 0, &x, &y);
    gdk_cairo_set_source_pixbuf(cr, hostPicture_, -x, -y);
    cairo_paint(cr);
  }
}

gboolean GtkPlatform::onFrameDraw(GtkWidget* frame, cairo_t* cr, gpointer data) {
  const auto& self = *static_cast<GtkPlatform*>(data);
  self.paintHost(cr, frame);
  if (self.hosting_.kind != Hosting::Kind::ownWindow) {
    // Beside a screen of the other shape, the host is dimmed as the screen's backdrop dims it.
    GtkAllocation frameArea, layerArea;
    gtk_widget_get_allocation(frame, &frameArea);
    gtk_widget_get_allocation(self.layer_, &layerArea);
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_rectangle(cr, 0, 0, frameArea.width, frameArea.height);
    cairo_rectangle(cr, layerArea.x - frameArea.x, layerArea.y - frameArea.y, layerArea.width,
                    layerArea.height);
    cairo_set_source_rgba(cr, 0, 0, 0, kHostDimming);
    cairo_fill(cr);
    cairo_restore(cr);
  }
  return FALSE;  // the model's drawing comes over it
}

bool GtkPlatform::presenting() const {
  return services_ && services_->window()->viewControllerStack().size() > 1;
}

void GtkPlatform::presentationChanged() {
  const bool shown = presenting();
  switch (hosting_.kind) {
    case Hosting::Kind::ownWindow: {
      auto& application = Application::shared();
      const bool landscape = isLandscape(application.statusBarOrientation());
      if (shown && !ownPresenting_) {
        // The first screen over the root: the window's shape before any turn for a screen.
        restingLandscape_ = landscape;
        ownWindow();
      } else if (!shown && ownPresenting_ && landscape != restingLandscape_) {
        // The last one went: the window turns back to that shape.
        application.rotate(restingLandscape_ ? InterfaceOrientation::landscapeRight
                                             : InterfaceOrientation::portrait);
      }
      ownPresenting_ = shown;
      keys_->presentationChanged(shown);
      return;
    }
    case Hosting::Kind::inside:
      if (shown == frameShown_) return;
      frameShown_ = shown;
      if (shown) {
        gtk_overlay_add_overlay(GTK_OVERLAY(hostOverlay_), frame_);
      } else {
        gtk_container_remove(GTK_CONTAINER(hostOverlay_), frame_);
      }
      break;
    case Hosting::Kind::over:
      if (shown == frameShown_) return;
      frameShown_ = shown;
      if (shown) {
        ownWindow();
        followNativeWindow();
        pictureNativeWindow();
        gtk_widget_show(GTK_WIDGET(gtkWindow_));
      } else {
        gtk_widget_hide(GTK_WIDGET(gtkWindow_));
        g_clear_object(&hostPicture_);
      }
      break;
  }
  keys_->presentationChanged(shown);
  // Back to the root: the model takes the whole screen again, in its shape.
  if (!shown && allocated_.width > 0 && allocated_.height > 0) {
    if (auto window = keyWindow(); window && window->frame.size() != allocated_)
      Application::shared().screenDidResize(allocated_);
    modelSize_ = allocated_;
    gtk_widget_set_size_request(layer_, -1, -1);
  }
}

GtkWidget* GtkPlatform::canvas() const {
  return canvas_->widget();
}

std::uint64_t GtkPlatform::framesDrawn() const {
  return canvas_->framesDrawn();
}

std::shared_ptr<Window> GtkPlatform::keyWindow() const {
  if (auto window = Application::shared().keyWindow()) return window;
  return services_ ? services_->window() : nullptr;
}

void GtkPlatform::syncFrame() {
  if (auto window = keyWindow()) {
    if (hosting_.kind != Hosting::Kind::ownWindow) {
      fitModel(*window);
    } else if (const Size size = window->frame.size(); size != modelSize_) {
      // The model changed size on its own (the interface turned): the desktop window follows.
      modelSize_ = size;
      const Size pending = requested_.empty() ? allocated_ : requested_.back();
      if (size != pending) {
        requested_.push_back(size);
        gtk_window_resize(gtkWindow_, pixels(size.width), pixels(size.height));
      }
    }
    attachVideoPictures(window);
    nativeLayer_->update(*window);
  }
  gtk_widget_queue_draw(canvas_->widget());
  gtk_widget_queue_draw(upperCanvas_->widget());
  keys_->sync();
  syncedSignature_ = sceneSignature();
}

void GtkPlatform::fitModel(Window& window) {
  const Size screen = allocated_;
  const Size size = window.frame.size();
  if (size == modelSize_ || screen.width <= 0 || screen.height <= 0) return;
  // The interface turned: the host's window keeps its size, and the screen takes the turned
  // shape at the largest size that fits in it.
  Size fitted = screen;
  const bool landscape = size.width > size.height;
  if (landscape != (screen.width > screen.height)) {
    fitted = landscape
                 ? Size{screen.width, std::floor(screen.width * screen.width / screen.height)}
                 : Size{std::floor(screen.height * screen.height / screen.width), screen.height};
  }
  if (size != fitted) window.resize(fitted);
  modelSize_ = window.frame.size();
  const bool whole = modelSize_ == screen;
  gtk_widget_set_halign(layer_, whole ? GTK_ALIGN_FILL : GTK_ALIGN_CENTER);
  gtk_widget_set_valign(layer_, whole ? GTK_ALIGN_FILL : GTK_ALIGN_CENTER);
  gtk_widget_set_size_request(layer_, whole ? -1 : pixels(modelSize_.width),
                              whole ? -1 : pixels(modelSize_.height));
}

namespace {

/// Every video view under `view` whose player's picture GStreamer draws, with that picture.
void collectVideoPictures(const std::shared_ptr<View>& view,
                          std::vector<std::pair<GtkWidget*, std::weak_ptr<View>>>& pictures) {
  if (auto video = std::dynamic_pointer_cast<VideoView>(view); video && video->player) {
    auto engine = std::dynamic_pointer_cast<GstPlayerEngine>(video->player->engine());
    if (engine && engine->videoWidget()) pictures.emplace_back(engine->videoWidget(), view);
  }
  for (const auto& child : view->subviews()) collectVideoPictures(child, pictures);
}

}  // namespace

void GtkPlatform::attachVideoPictures(const std::shared_ptr<Window>& window) {
  // A video view does not tell when its player changes: the pictures follow on each frame.
  std::vector<std::pair<GtkWidget*, std::weak_ptr<View>>> pictures;
  collectVideoPictures(window, pictures);
  for (GtkWidget* widget : videoPictures_) {
    const bool stays = std::any_of(pictures.begin(), pictures.end(), [widget](const auto& picture) {
      return picture.first == widget;
    });
    if (!stays) nativeLayer_->detach(widget);
  }
  videoPictures_.clear();
  for (auto& [widget, anchor] : pictures) {
    nativeLayer_->attach(widget, std::move(anchor));
    videoPictures_.push_back(widget);
  }
}

std::uint64_t GtkPlatform::sceneSignature() const {
  const auto window = keyWindow();
  std::uint64_t signature = window ? render::drawingSignature(*window) : 0;
  const auto mix = [&signature](std::uint64_t value) {
    signature ^= value + 0x9e3779b97f4a7c15u + (signature << 6) + (signature >> 2);
  };
  mix(reinterpret_cast<std::uintptr_t>(window.get()));
  mix(nativeLayer_->changes());
  if (window) {
    std::vector<std::pair<GtkWidget*, std::weak_ptr<View>>> pictures;
    collectVideoPictures(window, pictures);
    for (const auto& picture : pictures) mix(reinterpret_cast<std::uintptr_t>(picture.first));
  }
  return signature;
}

void GtkPlatform::onSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self) {
  static_cast<GtkPlatform*>(self)->screenResized(
      {static_cast<double>(allocation->width), static_cast<double>(allocation->height)});
}

void GtkPlatform::screenResized(Size size) {
  // A new layout of the same size (a native widget moved) is no resize.
  if (size == allocated_) return;
  allocated_ = size;
  // The sizes the model asked for arrive in turn: the latest one is the model's own size, an
  // earlier one was overtaken by a later change of the model, and neither is news to it. Any
  // other size comes from the user or the desktop, and the model follows it.
  if (const auto asked = std::find(requested_.begin(), requested_.end(), size);
      asked != requested_.end()) {
    requested_.erase(requested_.begin(), asked + 1);
    return;
  }
  requested_.clear();
  // Not from inside GTK's allocation: the model's answer to a resize may add widgets.
  mainQueue_.post([this, size] { applyScreenSize(size); });
}

bool GtkPlatform::screenTakes(Size size) const {
  const auto window = keyWindow();
  const auto top = window ? window->topViewController() : nullptr;
  if (!top) return true;
  const auto supported = top->supportedInterfaceOrientations();
  return size.width > size.height ? supported.contains(InterfaceOrientation::landscapeRight) ||
                                        supported.contains(InterfaceOrientation::landscapeLeft)
                                  : supported.contains(InterfaceOrientation::portrait);
}

void GtkPlatform::applyScreenSize(Size size) {
  if (instance != this) return;     // posted before the platform went
  if (size != allocated_) return;   // a later allocation follows
  if (!requested_.empty()) return;  // the model changed since, and leads
  if (hosting_.kind != Hosting::Kind::ownWindow && presenting() && !screenTakes(size)) {
    // The screen presented keeps the shape it asked for, at the new size.
    modelSize_ = {};
    if (auto window = keyWindow()) fitModel(*window);
    return;
  }
  Application::shared().screenDidResize(size);
  auto window = keyWindow();
  if (!window) return;
  if (hosting_.kind == Hosting::Kind::ownWindow) {
    modelSize_ = window->frame.size();
  } else {
    // The layer fills the screen again, were it fitted to another shape before.
    modelSize_ = {};
    fitModel(*window);
  }
}

GdkFilterReturn GtkPlatform::onNativeEvent(GdkXEvent* xevent, GdkEvent*, gpointer self) {
  const auto* event = static_cast<XEvent*>(xevent);
  if (event->type == ConfigureNotify || event->type == MapNotify || event->type == UnmapNotify ||
      event->type == ReparentNotify)
    static_cast<GtkPlatform*>(self)->followNativeWindow();
  return GDK_FILTER_CONTINUE;
}

void GtkPlatform::pictureNativeWindow() {
  g_clear_object(&hostPicture_);
  if (!nativeViewable_ || nativeArea_.width <= 0 || nativeArea_.height <= 0) return;
  GdkDisplay* display = gdk_window_get_display(native_);
  gdk_x11_display_error_trap_push(display);
  hostPicture_ = gdk_pixbuf_get_from_window(native_, 0, 0, nativeArea_.width, nativeArea_.height);
  gdk_x11_display_error_trap_pop_ignored(display);
}

void GtkPlatform::followNativeWindow() {
  GdkDisplay* display = gdk_window_get_display(native_);
  Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
  gdk_x11_display_error_trap_push(display);
  XWindowAttributes attributes{};
  int x = 0, y = 0;
  ::Window child = 0;
  const bool there =
      XGetWindowAttributes(xdisplay, hosting_.nativeWindow, &attributes) &&
      XTranslateCoordinates(xdisplay, hosting_.nativeWindow, attributes.root, 0, 0, &x, &y, &child);
  gdk_x11_display_error_trap_pop_ignored(display);
  nativeViewable_ = there && attributes.map_state == IsViewable;
  if (there) {
    nativeArea_ = {x, y, attributes.width, attributes.height};
    if (gtkWindow_) {
      gtk_window_move(gtkWindow_, x, y);
      gtk_window_resize(gtkWindow_, attributes.width, attributes.height);
    }
    screenResized({static_cast<double>(attributes.width), static_cast<double>(attributes.height)});
  }
  updateVisibility();
}

void GtkPlatform::onMapChanged(GtkWidget*, gpointer self) {
  static_cast<GtkPlatform*>(self)->updateVisibility();
}

gboolean GtkPlatform::onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self) {
  static_cast<GtkPlatform*>(self)->updateVisibility();
  return FALSE;
}

bool GtkPlatform::windowSeen() const {
  GtkWidget* widget = nullptr;
  switch (hosting_.kind) {
    case Hosting::Kind::over:
      return nativeViewable_;
    case Hosting::Kind::inside:
      widget = hostToplevel_;
      break;
    case Hosting::Kind::ownWindow:
      // Not made yet: it comes with the first screen presented.
      if (!gtkWindow_) return true;
      widget = GTK_WIDGET(gtkWindow_);
      break;
  }
  if (!gtk_widget_get_mapped(widget)) return false;
  GdkWindow* window = gtk_widget_get_window(widget);
  constexpr auto unseen = GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN;
  return window && !(gdk_window_get_state(window) & unseen);
}

void GtkPlatform::updateVisibility() {
  if (!services_) return;
  services_->window()->setVisible(windowSeen());
}

gboolean GtkPlatform::onDelete(GtkWidget* widget, GdkEvent*, gpointer self) {
  gtk_widget_hide(widget);
  static_cast<GtkPlatform*>(self)->mainQueue_.quit();
  return TRUE;
}

bool GtkPlatform::screenshot(const std::filesystem::path& path) {
  if (!gtk_widget_get_mapped(frame_)) return false;
  const std::uint64_t target = canvas_->framesDrawn() + 1;
  syncFrame();
  if (!mainQueue_.runUntil([&] { return canvas_->framesDrawn() >= target; }, 1)) return false;
  // Everything drawn has reached the display.
  gdk_display_sync(gtk_widget_get_display(frame_));
  GtkWidget* toplevel = gtk_widget_get_toplevel(frame_);
  int x = 0, y = 0;
  gtk_widget_translate_coordinates(frame_, toplevel, 0, 0, &x, &y);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gtk_widget_get_window(toplevel), x, y,
                                                 gtk_widget_get_allocated_width(frame_),
                                                 gtk_widget_get_allocated_height(frame_));
  if (!pixbuf) return false;
  GError* error = nullptr;
  const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
  if (!saved)
    log(LogLevel::warning,
        "screenshot " + path.string() + ": " + (error ? error->message : "not saved"));
  g_clear_error(&error);
  g_object_unref(pixbuf);
  return saved;
}

}  // namespace zelvora::platform::gtk
