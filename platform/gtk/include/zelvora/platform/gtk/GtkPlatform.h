#pragma once

// The desktop backend on GTK 3: the application's screens in a desktop window.
//
// What it implements:
// - the main queue on GLib's main loop, where GTK runs (GtkMainQueue), posted to from any
//   thread, run by GTK's loop, by `run()` or `runUntil()`, or by a host's own loop with `pump()`;
// - three ways to show the SDK's screens, chosen at creation (Hosting): a desktop window of
//   its own, created when first needed; inside the host's GtkWindow or GtkOverlay, only while
//   a screen is presented; or over a native X11 window of the host's, in a borderless window
//   that covers it only while a screen is presented;
// - the key window drawn with the shared cairo renderer whenever what it shows changed (nothing
//   is drawn while the model stays the same), clicks and touches on
//   it delivered to the model as taps; the screen's size is the desktop window's (its own or
//   the host's); wider than tall turns the interface to landscape, taller or square to portrait;
// - its own window at the host's size (HostEnvironment's screen size), 1280 by 720 by default;
// - a screen that supports only the other orientation: its own window is resized to it, and
//   back to its shape once the last screen is dismissed; the host's window never is, the screen
//   is laid out at that shape, as large as fits, on black;
// - the keyboard while a screen is presented (KeyboardFocus): the canvas has GTK's focus and
//   gives it back afterwards, the window's keys reach the model before GTK's handling (a page
//   with the model's focus gets them from WebKit, all but Escape), the focused control is named
//   through the canvas's ATK object; a host's own loop hands its keys in with `handleKey`;
// - the window's visibility (Window::isVisible): the window showing the screens (the host's,
//   or its own once created) hidden, minimised or not mapped is not visible;
// - GTK widgets placed over model views (NativeLayer) for the engines that show native
//   content, with the model views that lie above them drawn again over them and taking the
//   clicks there (a close button over a page's corner, a bar over a full-size page);
// - the web engine on WebKitGTK (GtkWebEngine): a WebKit page over each model web view, with
//   its configuration, user scripts, loads, navigation events, script messages, evaluations,
//   alerts and prompts; pages are untrusted (see GtkWebEngine.h), run in WebKit's sandbox and
//   watched by a watchdog;
// - the player engine on GStreamer (GstPlayerEngine): a playbin per item, its picture in a GTK
//   sink over the model's video view, the video overlay above it;
// - URLs opened with the desktop's handler for their scheme, or only recorded (tests);
// - screenshots of what the screens show, native widgets included;
// - the host environment, preferences, directories and image decoding, as in every backend.
//
// What it does not implement yet:
// - confirm() and onbeforeunload dialogs of a page: WebKit's own dialogs answer them;
// - seeking a video, and a video's failure while it opens reported as its end;
// - scrolling and drags (a press and release is a tap, nothing more); keys handed in by a
//   host's loop (`handleKey`) never reach a page: the page is one stop of the focus;
// - an ATK tree of the model: only the focused control is exposed, on the canvas's object;
// - the application going to the background: a window that is not visible only covers the
//   ad on it;
// - native windows other than X11's (Wayland has no way to place one window over another's).

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/gtk/DesktopUrlHandler.h"
#include "zelvora/platform/gtk/GtkMainQueue.h"
#include "zelvora/platform/gtk/GtkWebEngine.h"
#include "zelvora/platform/gtk/NativeLayer.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform::gtk {

class KeyboardFocus;
class NetworkWatch;
class ModelCanvas;

/// Where the desktop backend shows the SDK's screens.
struct ZELVORA_API Hosting {
  enum class Kind { ownWindow, inside, over };
  Kind kind = Kind::ownWindow;
  GtkWidget* host = nullptr;
  unsigned long nativeWindow = 0;

  /// A desktop window of the platform's own, titled "Zelvora", created when a screen is first
  /// presented over the root or when the host asks for it (`showWindow`, `gtkWindow`), of the
  /// environment's screen size (1280 by 720 when it gives none).
  static Hosting ownWindow() { return {}; }
  /// Inside the host's window: a GtkWindow whose content is already in it (the content is moved
  /// into a GtkOverlay of the platform's, which looks the same), or a GtkOverlay of the host's.
  /// The platform's layer lies over the content only while a screen is presented over the
  /// root; the screen is the size of the window's content.
  static Hosting inside(GtkWidget* windowOrOverlay) { return {Kind::inside, windowOrOverlay, 0}; }
  /// Over a native X11 window of the host's (SDL2, GLFW and Qt give its id): while a screen is
  /// presented, a borderless window of the platform's covers it exactly, transient for it,
  /// following its moves and size changes; the screen is its size.
  static Hosting over(unsigned long x11Window) { return {Kind::over, nullptr, x11Window}; }
};

/// The GTK backend. Create one on the main thread before using the SDK, and only one at a
/// time. It initialises GTK (a host with a GTK application of its own has done so), installs
/// its services (see `BackendServices`: the host environment, its main queue, its player and
/// web engines, its URL handler, the key window whose root view controller stands for the
/// host's screen) and shows the screens as `hosting` says. Its layer is a drawing area showing
/// the model with, above it, the native layer, and above that the model views that cover native
/// widgets. Closing its own window hides it and ends `mainQueue().run()`. Destroying the
/// platform uninstalls all of that, takes its layer out of the host's window and gives the
/// host's content its place back.
class ZELVORA_API GtkPlatform final : public Backend {
 public:
  /// Throws std::runtime_error when GTK cannot open a display or the native window is not
  /// there, std::logic_error when another platform is alive.
  explicit GtkPlatform(HostEnvironment environment = {}, UrlMode urls = UrlMode::open,
                       Hosting hosting = Hosting::ownWindow());
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
  const Hosting& hosting() const { return hosting_; }
  /// The desktop window the screens show in: the platform's own (created now if need be) or
  /// the host's.
  GtkWindow* gtkWindow();
  /// Own window: creates it if need be and shows it, with the root's screen, now.
  void showWindow();
  /// The drawing area showing the model, which takes the clicks and touches. Its coordinates
  /// are the model window's.
  GtkWidget* canvas() const;
  /// How many frames of the model were drawn so far: one more after each change of what the
  /// model shows (or when the window needs it drawn again), none while nothing changes.
  std::uint64_t framesDrawn() const;

  /// Saves what the platform's layer shows into a PNG at `path`: the model and the native
  /// widgets over it. First waits (running the main loop, at most a second) for a frame drawn
  /// after the call, so the model's latest state and the widgets' latest places are in it. The
  /// pixels are read back from the display, so the layer must be shown and unobscured: on X11
  /// a part covered by another window or off the screen reads as whatever is there, and on
  /// Wayland only what GTK draws itself is read (not content a widget shows through a
  /// subsurface). Returns whether the file was written.
  bool screenshot(const std::filesystem::path& path) override;

 private:
  struct ModelWatch;
  static void onSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void onMapChanged(GtkWidget* widget, gpointer self);
  static gboolean onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static gboolean onFrameDraw(GtkWidget* frame, cairo_t* cr, gpointer self);
  static GdkFilterReturn onNativeEvent(GdkXEvent* xevent, GdkEvent* event, gpointer self);

  /// Builds the layer (the frame around the model's drawing and the native layer).
  void buildLayer();
  /// Inside: finds or makes the overlay the layer goes into.
  void adoptHostWindow();
  /// Over: watches the native window's changes.
  void watchNativeWindow();
  /// The platform's own desktop window, created on first use.
  GtkWindow* ownWindow();
  /// A screen was presented over the root, or the last one went: the layer follows.
  void presentationChanged();
  bool presenting() const;

  std::shared_ptr<Window> keyWindow() const;
  /// Brings the desktop window's size, the native widgets and the drawing up to the model.
  void syncFrame();
  /// A digest of what `syncFrame` reads: the key window's drawing, its video pictures and the
  /// native layer's attachments.
  std::uint64_t sceneSignature() const;
  /// Hosted: the model takes the screen's shape or, turned to the other one, the largest size
  /// of that shape that fits, centred.
  void fitModel(Window& window);
  /// Puts the picture of each video the key window shows over its video view, and takes out
  /// those no longer shown.
  void attachVideoPictures(const std::shared_ptr<Window>& window);
  /// The screen now measures `size`: the model's screen follows, unless the model asked for it.
  void screenResized(Size size);
  void applyScreenSize(Size size);
  /// Over: the native window's place and size, on the root window, and whether it is viewable.
  void followNativeWindow();
  /// Over: keeps what the native window shows now, to be drawn under the screens.
  void pictureNativeWindow();
  /// Paints, in `widget`'s coordinates, what lies under the platform's layer: the host's content
  /// (inside: GTK drew it already; over: its picture), or black in the platform's own window.
  void paintHost(cairo_t* cr, GtkWidget* widget) const;
  /// Whether the screen on top can take the shape of `size`.
  bool screenTakes(Size size) const;
  /// Whether the window the screens show in is mapped and neither minimised nor withdrawn.
  bool windowSeen() const;
  /// Tells the model window whether a person can see it.
  void updateVisibility();

  const Hosting hosting_;
  GtkMainQueue mainQueue_;
  std::shared_ptr<DesktopUrlHandler> urlHandler_;
  /// The platform's own desktop window (own window, over), once created.
  GtkWindow* gtkWindow_ = nullptr;
  /// Around the model's drawing: the host's content dimmed (black in the platform's own window)
  /// where a screen of another shape leaves room; takes the clicks over the host's content, so
  /// it gets none while a screen is presented.
  GtkWidget* frame_ = nullptr;
  GtkWidget* layer_ = nullptr;
  /// Inside: the overlay the frame goes into, whether the platform made it, and the host's
  /// top-level window, whose visibility is the screens'.
  GtkWidget* hostOverlay_ = nullptr;
  bool madeHostOverlay_ = false;
  GtkWidget* hostToplevel_ = nullptr;
  /// Over: the native window, and its last known place, size and state.
  GdkWindow* native_ = nullptr;
  GdkRectangle nativeArea_{};
  /// What the native window showed when the screens came up.
  GdkPixbuf* hostPicture_ = nullptr;
  bool nativeViewable_ = false;
  /// Whether the frame is shown (in the host's overlay, or in the platform's window).
  bool frameShown_ = false;
  /// Own window: whether a screen is presented over the root, and whether the window was
  /// landscape before the first one, which it turns back to after the last.
  bool ownPresenting_ = false;
  bool restingLandscape_ = false;
  std::unique_ptr<ModelCanvas> canvas_;
  std::unique_ptr<NativeLayer> nativeLayer_;
  std::unique_ptr<ModelCanvas> upperCanvas_;
  std::unique_ptr<KeyboardFocus> keys_;
  std::unique_ptr<NetworkWatch> network_;
  std::shared_ptr<GtkWebEngine> webEngine_;
  /// The video pictures attached to the native layer.
  std::vector<GtkWidget*> videoPictures_;
  /// Runs `syncFrame` after any turn of the main loop that changed the scene, and only then.
  GSource* modelWatch_ = nullptr;
  std::optional<std::uint64_t> syncedSignature_;
  /// The last size of the screen, and the model window's size when the two last met: whichever
  /// of them changed since leads the other.
  Size allocated_;
  Size modelSize_;
  /// Own window: the sizes asked of it for the model, oldest first, not yet allocated.
  std::vector<Size> requested_;
  /// Installed once the engines exist; removed first.
  std::optional<BackendServices> services_;
};

}  // namespace zelvora::platform::gtk
