#include "zelvora/platform/gtk/GtkPlatform.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "ModelCanvas.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/gtk/GstPlayerEngine.h"
#include "zelvora/platform/media/PlayerEngine.h"
#include "zelvora/platform/media/VideoView.h"

namespace zelvora::platform::gtk {
namespace {

GtkPlatform* instance = nullptr;

int pixels(double points) {
  return static_cast<int>(std::lround(points));
}

}  // namespace

GtkPlatform* GtkPlatform::current() {
  return instance;
}

GtkPlatform::GtkPlatform(HostEnvironment environment, UrlMode urls) {
  if (instance) throw std::logic_error("zelvora: a GtkPlatform is already alive");
  if (!gtk_init_check(nullptr, nullptr))
    throw std::runtime_error("zelvora: GTK cannot open a display (DISPLAY or WAYLAND_DISPLAY)");
  // The screen's size decides the desktop window's, before the services install it.
  setHostEnvironment(environment);
  modelSize_ = screen::bounds().size();

  gtkWindow_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_window_set_title(gtkWindow_, "Zelvora");
  gtk_window_set_default_size(gtkWindow_, pixels(modelSize_.width), pixels(modelSize_.height));
  GtkWidget* overlay = gtk_overlay_new();
  canvas_ = std::make_unique<ModelCanvas>([this] { return keyWindow(); });
  gtk_container_add(GTK_CONTAINER(overlay), canvas_->widget());
  // Clicks beside the native widgets fall through to the model below.
  GtkWidget* fixed = gtk_fixed_new();
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), fixed);
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), fixed, TRUE);
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
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), upperCanvas_->widget());
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), upperCanvas_->widget(), TRUE);
  webEngine_ = std::make_shared<GtkWebEngine>(*nativeLayer_);
  gtk_container_add(GTK_CONTAINER(gtkWindow_), overlay);
  g_signal_connect(overlay, "size-allocate", G_CALLBACK(&GtkPlatform::onSizeAllocate), this);
  g_signal_connect(gtkWindow_, "delete-event", G_CALLBACK(&GtkPlatform::onDelete), this);
  // After GTK's own handlers, so that the widget's state is the new one.
  g_signal_connect_after(gtkWindow_, "map", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(gtkWindow_, "unmap", G_CALLBACK(&GtkPlatform::onMapChanged), this);
  g_signal_connect_after(gtkWindow_, "window-state-event", G_CALLBACK(&GtkPlatform::onWindowState),
                         this);
  urlHandler_ = std::make_shared<DesktopUrlHandler>(urls, [this] { return gtkWindow_; });

  services_.emplace(BackendServices::Parts{std::move(environment), &mainQueue_, gstPlayerEngines(),
                                           webEngine_, urlHandler_});
  tickCallback_ =
      gtk_widget_add_tick_callback(canvas_->widget(), &GtkPlatform::onTick, this, nullptr);
  gtk_widget_show_all(GTK_WIDGET(gtkWindow_));
  instance = this;
}

GtkPlatform::~GtkPlatform() {
  instance = nullptr;
  gtk_widget_remove_tick_callback(canvas_->widget(), tickCallback_);
  // The model goes before the engines that show its pages and videos.
  services_.reset();
  webEngine_.reset();
  nativeLayer_.reset();
  gtk_widget_destroy(GTK_WIDGET(gtkWindow_));
}

std::shared_ptr<Window> GtkPlatform::window() const {
  return services_->window();
}

std::shared_ptr<ViewController> GtkPlatform::rootViewController() const {
  return services_->rootViewController();
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

gboolean GtkPlatform::onTick(GtkWidget*, GdkFrameClock*, gpointer self) {
  static_cast<GtkPlatform*>(self)->syncFrame();
  return G_SOURCE_CONTINUE;
}

void GtkPlatform::syncFrame() {
  if (auto window = keyWindow()) {
    // The model changed size on its own (the interface turned): the desktop window follows.
    if (const Size size = window->frame.size(); size != modelSize_) {
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
  // Redrawn on every frame: the model tells no one of its changes.
  gtk_widget_queue_draw(canvas_->widget());
  gtk_widget_queue_draw(upperCanvas_->widget());
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

void GtkPlatform::onSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self) {
  auto& platform = *static_cast<GtkPlatform*>(self);
  const Size size{static_cast<double>(allocation->width), static_cast<double>(allocation->height)};
  // A new layout of the same size (a native widget moved) is no resize.
  if (size == platform.allocated_) return;
  platform.allocated_ = size;
  // The sizes the model asked for arrive in turn: the latest one is the model's own size, an
  // earlier one was overtaken by a later change of the model, and neither is news to it. Any
  // other size comes from the user or the desktop, and the model follows it.
  auto& requested = platform.requested_;
  if (const auto asked = std::find(requested.begin(), requested.end(), size);
      asked != requested.end()) {
    requested.erase(requested.begin(), asked + 1);
    return;
  }
  requested.clear();
  // Not from inside GTK's allocation: the model's answer to a resize may add widgets.
  platform.mainQueue_.post([&platform, size] { platform.applyScreenSize(size); });
}

void GtkPlatform::applyScreenSize(Size size) {
  if (size != allocated_) return;   // a later allocation follows
  if (!requested_.empty()) return;  // the model changed since, and leads
  Application::shared().screenDidResize(size);
  if (auto window = keyWindow()) modelSize_ = window->frame.size();
}

void GtkPlatform::onMapChanged(GtkWidget*, gpointer self) {
  static_cast<GtkPlatform*>(self)->updateVisibility();
}

gboolean GtkPlatform::onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self) {
  static_cast<GtkPlatform*>(self)->updateVisibility();
  return FALSE;
}

bool GtkPlatform::desktopWindowSeen() const {
  GtkWidget* widget = GTK_WIDGET(gtkWindow_);
  if (!gtk_widget_get_mapped(widget)) return false;
  GdkWindow* window = gtk_widget_get_window(widget);
  constexpr auto unseen = GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN;
  return window && !(gdk_window_get_state(window) & unseen);
}

void GtkPlatform::updateVisibility() {
  if (!services_) return;
  services_->window()->setVisible(desktopWindowSeen());
}

gboolean GtkPlatform::onDelete(GtkWidget* widget, GdkEvent*, gpointer self) {
  gtk_widget_hide(widget);
  static_cast<GtkPlatform*>(self)->mainQueue_.quit();
  return TRUE;
}

bool GtkPlatform::screenshot(const std::filesystem::path& path) {
  GtkWidget* widget = GTK_WIDGET(gtkWindow_);
  if (!gtk_widget_get_mapped(widget)) return false;
  const std::uint64_t target = canvas_->framesDrawn() + 1;
  syncFrame();
  if (!mainQueue_.runUntil([&] { return canvas_->framesDrawn() >= target; }, 1)) return false;
  // Everything drawn has reached the display.
  gdk_display_sync(gtk_widget_get_display(widget));
  GdkWindow* window = gtk_widget_get_window(widget);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                                 gdk_window_get_height(window));
  if (!pixbuf) return false;
  GError* error = nullptr;
  const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
  if (!saved) log("screenshot " + path.string() + ": " + (error ? error->message : "not saved"));
  g_clear_error(&error);
  g_object_unref(pixbuf);
  return saved;
}

}  // namespace zelvora::platform::gtk
