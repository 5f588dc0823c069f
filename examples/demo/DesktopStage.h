#pragma once

#include <optional>

#include "Stage.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace demo {

/// The desktop backend: a real window on the real clock. WebKit runs the pages and their
/// scripts, so the stage plays nothing itself: a tap on a page is a click WebKit receives.
class DesktopStage final : public Stage {
 public:
  /// Throws std::runtime_error when GTK cannot open a display. The window starts at `window`
  /// points when given, a phone's size otherwise.
  DesktopStage(zelvora::platform::HostEnvironment environment, zelvora::platform::gtk::UrlMode urls,
               std::optional<zelvora::platform::Size> window = std::nullopt);

  zelvora::platform::gtk::GtkPlatform& platform() { return platform_; }

  bool waitFor(const std::function<bool()>& done, double seconds) override;
  void pause(double seconds) override;
  bool pauseUntil(const std::function<bool()>& done, double seconds) override;
  bool realTime() const override { return true; }

  /// What the window shows, pages and video pictures included.
  bool snapshot(const std::filesystem::path& file) override;

  bool tap(const std::shared_ptr<zelvora::platform::View>& view) override;
  std::optional<std::string> tapPage(
      const std::shared_ptr<zelvora::platform::WebView>& webView) override;
  void letPagesLoad() override;
  bool rotate(zelvora::platform::InterfaceOrientation orientation) override;

 private:
  bool runUntil(const std::function<bool()>& done, double seconds);
  /// Whether every page on screen has loaded and, when `shown`, is in the window.
  bool pagesUp(bool shown);

  zelvora::platform::gtk::GtkPlatform platform_;
};

}  // namespace demo
