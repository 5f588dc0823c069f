#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/ViewController.h"
#include "zelvora/platform/ui/WebView.h"

namespace demo {

/// Where the scripted user acts: a backend's screen, clock and input. The headless stage runs
/// on a manual clock and plays the pages' side itself; the desktop stage shows a real window
/// on the real clock, where WebKit runs the pages.
class Stage {
 public:
  virtual ~Stage() = default;

  // Time.

  /// Runs the main queue until `done` or `seconds` of real time: network answers, nothing else.
  virtual bool runUntil(const std::function<bool()>& done, double seconds) = 0;
  /// The user waits up to `seconds` of real time for `done` while the pages run.
  virtual bool waitFor(const std::function<bool()>& done, double seconds) = 0;
  /// Lets `seconds` pass on the stage's clock: transitions, timers, videos, countdowns.
  virtual void pause(double seconds) = 0;
  /// Lets the clock run until `done`, for at most `seconds`.
  virtual bool pauseUntil(const std::function<bool()>& done, double seconds) = 0;
  /// The stage's clock, in seconds.
  virtual double now() const = 0;
  /// Whether the clock is the real one, so that durations come out a fraction of a second
  /// longer than asked.
  virtual bool realTime() const = 0;

  // The screen: the key window's views, hidden ones left out.

  virtual std::shared_ptr<zelvora::platform::View> findById(
      const std::string& identifier) const = 0;
  /// The first button whose title, or label whose text, is `text`.
  virtual std::shared_ptr<zelvora::platform::View> findByTitle(const std::string& text) const = 0;
  virtual std::shared_ptr<zelvora::platform::WebView> findWebView() const = 0;
  /// One line per view, indented by depth.
  virtual std::string dumpScreen() const = 0;
  /// Writes a PNG of the screen; returns whether it did.
  virtual bool snapshot(const std::filesystem::path& file) = 0;
  virtual std::shared_ptr<zelvora::platform::ViewController> rootViewController() const = 0;
  /// Every address handed to the system so far.
  virtual const std::vector<std::string>& openedUrls() const = 0;

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
};

}  // namespace demo
