#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/MainQueue.h"
#include "zelvora/platform/media/PlayerEngine.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform {

/// A main queue the host turns: the same four ways on every backend.
class ZELVORA_API RunnableQueue : public MainQueue {
 public:
  /// Runs tasks until `quit()`.
  virtual void run() = 0;
  /// Ends `run()`. Safe from any thread.
  virtual void quit() = 0;
  /// Runs tasks until `done()` holds or `timeoutSeconds` of real time pass; returns `done()`.
  virtual bool runUntil(const std::function<bool()>& done, double timeoutSeconds = 10) = 0;
  /// Runs what is due now without waiting, for a host with a loop of its own (once a frame);
  /// every callback of that turn happens inside the call. Returns how many tasks ran.
  virtual std::size_t pump() = 0;
};

/// A URL handler that remembers every URL it was handed.
class ZELVORA_API RecordingUrls : public UrlHandler {
 public:
  virtual const std::vector<std::string>& openedUrls() const = 0;
};

/// What the host and the SDK reach every backend through: its main queue, the key window with
/// the root view controller that stands for the host's screen, its engines, its URL handler and
/// pictures of the screen. Each backend keeps its services in a `BackendServices`.
class ZELVORA_API Backend {
 public:
  virtual ~Backend() = default;

  virtual RunnableQueue& mainQueue() = 0;
  virtual std::shared_ptr<Window> window() const = 0;
  /// The host's screen: the view controller ads are presented over.
  virtual std::shared_ptr<ViewController> rootViewController() const = 0;
  virtual WebEngine& webEngine() = 0;
  virtual RecordingUrls& urlHandler() = 0;
  /// Saves a PNG of what the screen shows; returns whether the file was written.
  virtual bool screenshot(const std::filesystem::path& path) = 0;

  /// A key the host's own loop received (a host whose window has the keyboard, such as one the
  /// SDK's screens lie over), handed in as `pump` is: while a screen is presented over the root
  /// the SDK takes every key (Window::handleKey) and the host must not act on it, since the
  /// user is looking at the ad; otherwise it takes none. Returns whether the SDK took the key.
  virtual bool handleKey(Key key);
};

/// Installs a backend's services for the process and removes them again, always in the same
/// order: the host environment, the main queue, the player engine, the web engine, then the
/// application (its URL handler and a key window of the screen's size with a root view
/// controller). Removal runs backwards, so nothing installed later outlives what it uses.
/// Only one may be alive at a time.
class ZELVORA_API BackendServices {
 public:
  struct Parts {
    HostEnvironment environment;
    RunnableQueue* mainQueue = nullptr;
    PlayerEngineFactory playerEngines;
    std::shared_ptr<WebEngine> webEngine;
    std::shared_ptr<UrlHandler> urlHandler;
    /// Which media types the player engines play.
    MediaTypeCheck mediaTypes;
  };

  /// Throws std::logic_error when another backend's services are installed.
  explicit BackendServices(Parts parts);
  ~BackendServices();
  BackendServices(const BackendServices&) = delete;
  BackendServices& operator=(const BackendServices&) = delete;

  std::shared_ptr<Window> window() const { return window_; }
  std::shared_ptr<ViewController> rootViewController() const { return root_; }

  /// Counts the backends started in this process: views, pages and timers of an earlier one
  /// are gone with it.
  static std::uint64_t generation();
  /// Told, in the first main-queue turn of every backend started after it is set, so that
  /// what was built on an earlier backend is built again. Kept across backends.
  static void setStartedHandler(std::function<void()> handler);

 private:
  std::shared_ptr<Window> window_;
  std::shared_ptr<ViewController> root_;
};

}  // namespace zelvora::platform
