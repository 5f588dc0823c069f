#pragma once

#include <memory>
#include <optional>
#include <string>

#include "zelvora/platform/ui/Window.h"

namespace zelvora {

/// Tells the host when a showing's screens begin to cover its view controller and when the last
/// of them has gone, so that a game can pause and resume around them whatever the format:
/// `onAdWillPresentScreen` as the first screen is presented over the host's view controller,
/// `onAdDidDismissScreen` once nothing is presented over it any more and the dismissal's
/// completions (an `onAdClose` among them) have run. One pair per showing: a showing that never
/// presents anything has neither, and one given up after its screen came still ends its pair.
/// Formats say which presentation is a showing's first screen; the screens laid over it (a
/// landing card, a creative's player, a click-through page) need nothing.
class ShowingScreens : public std::enable_shared_from_this<ShowingScreens> {
 public:
  ShowingScreens() = default;
  ~ShowingScreens();
  ShowingScreens(const ShowingScreens&) = delete;
  ShowingScreens& operator=(const ShowingScreens&) = delete;

  /// The next presentation over `presenter` is the first screen of a showing of the
  /// placement's ad (one asked for before it, and never made, is forgotten).
  void expect(const std::string& placementId,
              const std::shared_ptr<platform::ViewController>& presenter);
  /// A new backend started: the screens of a showing on the one before went with it.
  void backendStarted();
  /// A showing's first screen is up, or its dismissal's completions have not all run yet.
  bool showing() const { return presented_ || dismissed_; }

 private:
  struct Showing {
    std::string placementId;
    std::weak_ptr<platform::ViewController> presenter;
  };

  void watch(const std::shared_ptr<platform::Window>& window);
  void unwatch();
  void presentationBegins(const std::shared_ptr<platform::ViewController>& presenter);
  void stackChanged();
  void tellDismissed();

  std::optional<Showing> expected_;
  std::optional<Showing> presented_;
  /// Gone from the screen: told once the dismissal's completions ran, or before the next
  /// showing's first screen, whichever comes first.
  std::optional<std::string> dismissed_;
  std::weak_ptr<platform::Window> window_;
  platform::Window::ObserverToken presentationToken_ = 0;
  platform::Window::ObserverToken stackToken_ = 0;
};

}  // namespace zelvora
