#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/Backend.h"

namespace zelvora::platform::gtk {

enum class UrlMode {
  /// URLs go to the desktop's handler for their scheme (a browser for web addresses).
  open,
  /// URLs are only recorded (tests).
  record,
};

/// Hands the URLs the application opens to the desktop. Web addresses can always be opened;
/// other schemes when the desktop has an application for them. Every URL opened is recorded;
/// one the desktop fails to open is one console line.
class ZELVORA_API DesktopUrlHandler : public RecordingUrls {
 public:
  /// `parent` tells the window the desktop's handler is opened for, if any, at the time.
  DesktopUrlHandler(UrlMode mode, std::function<GtkWindow*()> parent)
      : mode_(mode), parent_(std::move(parent)) {}

  bool canOpen(const std::string& url) override;
  void open(const std::string& url) override;

  UrlMode mode() const { return mode_; }
  const std::vector<std::string>& openedUrls() const override { return openedUrls_; }

 private:
  const UrlMode mode_;
  const std::function<GtkWindow*()> parent_;
  std::vector<std::string> openedUrls_;
};

}  // namespace zelvora::platform::gtk
