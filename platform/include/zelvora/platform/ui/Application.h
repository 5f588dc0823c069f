#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "zelvora/Export.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/Window.h"

namespace zelvora::platform {

/// What a backend does with URLs handed to the system.
class ZELVORA_API UrlHandler {
 public:
  virtual ~UrlHandler() = default;
  virtual bool canOpen(const std::string& url) = 0;
  virtual void open(const std::string& url) = 0;
};

/// The running application: its key window, interface orientation, the system's URL
/// handling and the will-resign-active and did-become-active notifications.
class ZELVORA_API Application {
 public:
  using ObserverToken = std::uint64_t;

  static Application& shared();

  /// The key window; none until a backend created it.
  std::shared_ptr<Window> keyWindow() const { return keyWindow_; }
  void setKeyWindow(std::shared_ptr<Window> window) { keyWindow_ = std::move(window); }

  InterfaceOrientation statusBarOrientation() const { return orientation_; }
  /// Turns the interface to `orientation` when the top view controller supports it; the
  /// window takes the screen's size in that orientation. Returns whether it turned.
  bool rotate(InterfaceOrientation orientation);
  /// The backend's screen now measures `size` points (a desktop window the user resized): the
  /// screen takes that size, the interface turns to landscape when it is wider than tall and
  /// to portrait otherwise, whatever the top view controller supports (the user chose the
  /// shape), and the key window takes the size.
  void screenDidResize(Size size);

  bool canOpenURL(const std::string& url);
  void open(const std::string& url);
  void setUrlHandler(std::shared_ptr<UrlHandler> handler) { urlHandler_ = std::move(handler); }

  ObserverToken addDidBecomeActiveObserver(std::function<void()> observer);
  ObserverToken addWillResignActiveObserver(std::function<void()> observer);
  /// Removes an observer of either notification.
  void removeObserver(ObserverToken token);
  /// The backend calls this when the application comes back to the foreground.
  void postDidBecomeActive();
  /// The backend calls this when the application goes to the background.
  void postWillResignActive();
  bool isActive() const { return active_; }
  /// Told when the network is usable again after it was not; kept across `reset`, since it
  /// belongs to the SDK rather than to a backend. Backends without a network monitor never
  /// tell it.
  void setNetworkAvailableHandler(std::function<void()> handler) {
    networkAvailable_ = std::move(handler);
  }
  /// The backend calls this when the network came back.
  void postNetworkAvailable() {
    if (networkAvailable_) networkAvailable_();
  }
  void setActive(bool active) { active_ = active; }

  /// Back to a fresh state (no window, portrait, no observers); backends call it at start-up.
  void reset();

 private:
  std::shared_ptr<Window> keyWindow_;
  InterfaceOrientation orientation_ = InterfaceOrientation::portrait;
  std::shared_ptr<UrlHandler> urlHandler_;
  std::map<ObserverToken, std::function<void()>> observers_;
  std::map<ObserverToken, std::function<void()>> resignObservers_;
  ObserverToken nextToken_ = 1;
  bool active_ = true;
  std::function<void()> networkAvailable_;
};

}  // namespace zelvora::platform
