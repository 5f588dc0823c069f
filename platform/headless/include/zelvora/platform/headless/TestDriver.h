#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/media/Player.h"
#include "zelvora/platform/ui/Geometry.h"
#include "zelvora/platform/ui/Keyboard.h"
#include "zelvora/platform/ui/View.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::platform::headless {

/// One event of a web view's navigation, as its engine would report it.
struct ZELVORA_API NavigationStep {
  enum class Kind { start, redirect, commit, finish, fail };

  Kind kind = Kind::start;
  /// The address of a redirect, or the description of a failure.
  std::string detail;

  static NavigationStep start() { return {Kind::start, {}}; }
  static NavigationStep redirect(std::string url) { return {Kind::redirect, std::move(url)}; }
  static NavigationStep commit() { return {Kind::commit, {}}; }
  static NavigationStep finish() { return {Kind::finish, {}}; }
  static NavigationStep fail(std::string description) {
    return {Kind::fail, std::move(description)};
  }
};

/// Acts as the user (and as the web and media engines) on the headless platform: finds views on
/// screen, taps them, turns the device, sends the application to the background and back, plays
/// web view navigations and video failures, and describes or draws the screen. Every action runs
/// the main queue's pending tasks afterwards, so the work it posts has happened when the call
/// returns; timers still wait for the test to advance the clock.
class ZELVORA_API TestDriver {
 public:
  explicit TestDriver(HeadlessPlatform& platform) : platform_(platform) {}

  // Finding views. The screen is the key window's subviews (the root view controller's view
  // and the presented view controllers' views, bottom first) and everything below them, each
  // view before its subviews. Hidden views and their subviews are left out.

  std::vector<std::shared_ptr<View>> visibleViews() const;
  template <class T>
  std::vector<std::shared_ptr<T>> findAll() const {
    std::vector<std::shared_ptr<T>> found;
    for (const auto& view : visibleViews()) {
      if (auto match = std::dynamic_pointer_cast<T>(view)) found.push_back(std::move(match));
    }
    return found;
  }
  /// The first view of type T on screen, if any.
  template <class T>
  std::shared_ptr<T> find() const {
    auto all = findAll<T>();
    return all.empty() ? nullptr : all.front();
  }
  /// The first button whose current title, or label whose text, is `text`.
  std::shared_ptr<View> findByTitle(const std::string& text) const;
  std::shared_ptr<View> findById(const std::string& accessibilityIdentifier) const;

  // Touches.

  /// Taps `view` as a finger would: the view, or its nearest ancestor that is a button or has
  /// tap recognizers, responds. A button sends its touch-up-inside actions when enabled; any
  /// other view fires its recognizers. Nothing happens when the view is not on screen, is
  /// hidden, transparent or does not take touches (itself or an ancestor). Returns whether
  /// something responded.
  bool tap(const std::shared_ptr<View>& view);
  /// The topmost view at `point` (window coordinates) that could take a touch: visible, not
  /// transparent, taking touches, and inside every ancestor that clips to its bounds.
  std::shared_ptr<View> hitTest(Point point) const;
  /// Taps whatever is at `point`; returns whether something responded.
  bool tapAt(Point point);

  // Keys.

  /// Presses `key` on the key window (Window::handleKey); returns whether it was used.
  bool press(Key key);
  /// The view keyboard focus is on, if any.
  std::shared_ptr<View> focusedView() const;

  // The device and the application.

  /// Turns the interface when the top view controller supports `orientation`; returns
  /// whether it turned.
  bool rotate(InterfaceOrientation orientation);
  void sendToBackground();
  void bringToForeground();

  // Web views, played as their engine would.

  /// The web views on screen.
  std::vector<std::shared_ptr<WebView>> webViews() const { return findAll<WebView>(); }
  /// Every live web view that loaded something, on screen or not, oldest first.
  std::vector<std::shared_ptr<WebView>> allWebViews() const {
    return platform_.webEngine().webViews();
  }
  /// Reports each of `steps` in turn, running pending tasks after each; stops early when the
  /// web view goes away. Returns how many steps were reported.
  std::size_t playNavigation(const std::shared_ptr<WebView>& webView,
                             const std::vector<NavigationStep>& steps);
  /// The usual successful load: start, commit, finish.
  std::size_t finishLoading(const std::shared_ptr<WebView>& webView);
  /// A load that fails before committing: start, then the failure.
  std::size_t failLoading(const std::shared_ptr<WebView>& webView, const std::string& description);
  /// The page navigates to `url` (a click on a link): the navigation starts, and stays
  /// provisional until the test plays more of it.
  void startNavigation(const std::shared_ptr<WebView>& webView, const std::string& url);
  /// The page navigates to `url` and that second page loads completely.
  void loadPage(const std::shared_ptr<WebView>& webView, const std::string& url);
  /// The page posts `body` to the message handler `name`; returns whether one received it.
  bool postMessage(const std::shared_ptr<WebView>& webView, const std::string& name,
                   const nlohmann::ordered_json& body);
  /// The page calls alert(message); returns whether it was answered at once.
  bool alert(const std::shared_ptr<WebView>& webView, const std::string& message);
  /// The page calls prompt(); returns the answer given at once (empty inside when cancelled).
  std::optional<std::optional<std::string>> prompt(const std::shared_ptr<WebView>& webView,
                                                   const std::string& message,
                                                   const std::optional<std::string>& defaultText);

  // Videos, played as their engine would.

  /// The item of `player` fails now with `reason`, as a decoding error part way through a file
  /// would (see headless::failPlayback); returns whether it failed.
  bool failPlayback(const std::shared_ptr<Player>& player, const std::string& reason);

  // Describing the screen.

  /// One line per view, indented two spaces a level, starting with the window:
  /// `Type (x, y, w, h) content #identifier hidden alpha=0.5`. Frames are in window
  /// coordinates with at most one decimal; the content, identifier and flags appear only when
  /// present. A hidden view is listed with its flag but without its subviews.
  std::string dumpScreen() const;
  /// Draws the screen into a PNG (see headless::snapshot); returns whether it was written.
  bool snapshot(const std::filesystem::path& path) const;

  /// Runs the main queue's pending tasks.
  void settle() { platform_.runLoop().pump(); }

 private:
  HeadlessPlatform& platform_;
};

}  // namespace zelvora::platform::headless
