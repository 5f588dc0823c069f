#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zelvora/platform/Backend.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/WebView.h"

namespace demo {

/// Where the scripted user acts: a backend (its queue, screen and URLs, reached through
/// `backend()`) with what only a tour needs on top: the user's sense of time and hands. The
/// headless stage runs on a manual clock and plays the pages' side itself; the desktop stage
/// shows a real window on the real clock, where WebKit runs the pages.
class Stage {
 public:
  explicit Stage(zelvora::platform::Backend& backend) : backend_(backend) {}
  virtual ~Stage() = default;
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

  zelvora::platform::Backend& backend() const { return backend_; }

  // Time.

  /// The user waits up to `seconds` of real time for `done` while the pages run.
  virtual bool waitFor(const std::function<bool()>& done, double seconds) = 0;
  /// Lets `seconds` pass on the stage's clock: transitions, timers, videos, countdowns.
  virtual void pause(double seconds) = 0;
  /// Lets the clock run until `done`, for at most `seconds`.
  virtual bool pauseUntil(const std::function<bool()>& done, double seconds) = 0;
  /// Whether the clock is the real one, so that durations come out a fraction of a second
  /// longer than asked.
  virtual bool realTime() const = 0;

  // The screen: the key window's views, hidden ones left out.

  std::shared_ptr<zelvora::platform::View> findById(const std::string& identifier) const;
  /// The first button whose title, or label whose text, is `text`.
  std::shared_ptr<zelvora::platform::View> findByTitle(const std::string& text) const;
  std::shared_ptr<zelvora::platform::WebView> findWebView() const;
  /// One line per view, indented by depth.
  std::string dumpScreen() const;
  /// Writes a PNG of the screen once the pages on it are drawn; returns whether it did.
  virtual bool snapshot(const std::filesystem::path& file) = 0;

  // The user's hands.

  /// Taps a model view; returns whether something responded.
  virtual bool tap(const std::shared_ptr<zelvora::platform::View>& view) = 0;
  /// Taps the page's call to action; returns what the page did, or nothing when it did nothing.
  virtual std::optional<std::string> tapPage(
      const std::shared_ptr<zelvora::platform::WebView>& webView) = 0;
  /// Lets the pages on screen finish loading (a landing page after a tap).
  virtual void letPagesLoad() = 0;
  /// Turns the device; returns whether the interface turned.
  virtual bool rotate(zelvora::platform::InterfaceOrientation orientation) = 0;

 private:
  zelvora::platform::Backend& backend_;
};

}  // namespace demo
