#pragma once

// The desktop backend on GTK 3: the application's screens in a desktop window.
//
// What it implements:
// - the main queue on GLib's main loop, where GTK runs (GtkMainQueue), posted to from any
//   thread;
// - the key window in a GtkWindow: the view model drawn with the shared cairo renderer on
//   every frame, clicks and touches on it delivered to the model as taps, the desktop window's
//   size as the screen's (wider than tall turns the interface to landscape, taller or square
//   to portrait), and a rotation of the interface resizing the desktop window;
// - GTK widgets placed over model views (NativeLayer) for the engines that show native
//   content, with the model views that lie above them drawn again over them and taking the
//   clicks there (a close button over a page's corner, a bar over a full-size page);
// - the web engine on WebKitGTK (GtkWebEngine): a WebKit page over each model web view, with
//   its configuration, user scripts, loads, navigation events, script messages, evaluations,
//   alerts and prompts; pages are untrusted (see GtkWebEngine.h);
// - the player engine on GStreamer (GstPlayerEngine): a playbin per item, its picture in a GTK
//   sink over the model's video view, the video overlay above it;
// - URLs opened with the desktop's handler for their scheme, or only recorded (tests);
// - screenshots of what the window shows, native widgets included;
// - the host environment, preferences, directories and image decoding, as in every backend.
//
// What it does not implement yet:
// - confirm() and onbeforeunload dialogs of a page: WebKit's own dialogs answer them;
// - seeking a video, and a video's failure while it opens reported as its end;
// - keyboard input, scrolling and drags (a press and release is a tap, nothing more);
// - the application going to the background: hiding or minimising the window makes it not
//   visible (see Window::isVisible), and nothing more;
// - WebKit's sandbox for its web processes (it needs bubblewrap): pages run in WebKit's
//   ordinary web processes.

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "zelvora/platform/Backend.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/gtk/DesktopUrlHandler.h"
#include "zelvora/platform/gtk/GtkMainQueue.h"
#include "zelvora/platform/gtk/GtkWebEngine.h"
#include "zelvora/platform/gtk/NativeLayer.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform::gtk {

class ModelCanvas;

/// The GTK backend. Create one on the main thread before using the SDK, and only one at a
/// time. It initialises GTK, installs its services (see `BackendServices`: the host
/// environment, its main queue, its player and web engines, its URL handler), and shows a desktop
/// window of the screen's size in points; the key window's root view controller stands for the
/// host's screen. The desktop window is a drawing area showing the model with, above it, the native
/// layer, and above that the model views that cover native widgets. Closing the window hides it and
/// ends `mainQueue().run()`. Destroying the platform uninstalls all of that and destroys the
/// window.
class GtkPlatform final : public Backend {
 public:
  /// Throws std::runtime_error when GTK cannot open a display, std::logic_error when another
  /// platform is alive.
  explicit GtkPlatform(HostEnvironment environment = {}, UrlMode urls = UrlMode::open);
  ~GtkPlatform() override;
  GtkPlatform(const GtkPlatform&) = delete;
  GtkPlatform& operator=(const GtkPlatform&) = delete;

  /// The platform alive, if any: the engines reach the native layer and the window through it.
  static GtkPlatform* current();

  GtkMainQueue& mainQueue() override { return mainQueue_; }
  std::shared_ptr<Window> window() const override;
  /// The host's screen: the view controller ads are presented over.
  std::shared_ptr<ViewController> rootViewController() const override;
  DesktopUrlHandler& urlHandler() override { return *urlHandler_; }
  NativeLayer& nativeLayer() { return *nativeLayer_; }
  GtkWebEngine& webEngine() override { return *webEngine_; }
  GtkWindow* gtkWindow() const { return gtkWindow_; }
  /// The drawing area showing the model, which takes the clicks and touches. Its coordinates
  /// are the model window's.
  GtkWidget* canvas() const;
  /// How many frames of the model were drawn so far.
  std::uint64_t framesDrawn() const;

  /// Saves what the window shows into a PNG at `path`: the model and the native widgets over
  /// it. First waits (running the main loop, at most a second) for a frame drawn after the
  /// call, so the model's latest state and the widgets' latest places are in it. The pixels
  /// are read back from the display, so the window must be mapped and unobscured: on X11 a
  /// part covered by another window or off the screen reads as whatever is there, and on
  /// Wayland only what GTK draws itself is read (not content a widget shows through a
  /// subsurface). Returns whether the file was written.
  bool screenshot(const std::filesystem::path& path) override;

 private:
  static gboolean onTick(GtkWidget* widget, GdkFrameClock* clock, gpointer self);
  static void onSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void onMapChanged(GtkWidget* widget, gpointer self);
  static gboolean onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);

  /// Whether the desktop window is mapped and neither minimised nor withdrawn.
  bool desktopWindowSeen() const;
  /// Tells the model window whether a person can see it.
  void updateVisibility();

  std::shared_ptr<Window> keyWindow() const;
  /// Brings the desktop window's size, the native widgets and the drawing up to the model.
  void syncFrame();
  /// Puts the picture of each video the key window shows over its video view, and takes out
  /// those no longer shown.
  void attachVideoPictures(const std::shared_ptr<Window>& window);
  /// The desktop window's content now measures `size`: the model's screen follows.
  void applyScreenSize(Size size);

  GtkMainQueue mainQueue_;
  std::shared_ptr<DesktopUrlHandler> urlHandler_;
  GtkWindow* gtkWindow_ = nullptr;
  std::unique_ptr<ModelCanvas> canvas_;
  std::unique_ptr<NativeLayer> nativeLayer_;
  std::unique_ptr<ModelCanvas> upperCanvas_;
  std::shared_ptr<GtkWebEngine> webEngine_;
  /// The video pictures attached to the native layer.
  std::vector<GtkWidget*> videoPictures_;
  guint tickCallback_ = 0;
  /// The last size GTK gave the content, and the model window's size when the two last met:
  /// whichever of them changed since leads the other.
  Size allocated_;
  Size modelSize_;
  /// The sizes asked of the desktop window for the model, oldest first, not yet allocated.
  std::vector<Size> requested_;
  /// Installed once the engines exist; removed first.
  std::optional<BackendServices> services_;
};

}  // namespace zelvora::platform::gtk
