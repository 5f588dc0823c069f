#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zelvora/Export.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/headless/HeadlessWebEngine.h"
#include "zelvora/platform/headless/RunLoop.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform::headless {

/// Records the URLs handed to the system instead of opening them. Web addresses and store
/// addresses ("itms", "itms-apps", "itms-appss") can be opened; other schemes cannot.
class ZELVORA_API RecordingUrlHandler : public RecordingUrls {
 public:
  bool canOpen(const std::string& url) override;
  void open(const std::string& url) override { openedUrls_.push_back(url); }
  const std::vector<std::string>& openedUrls() const override { return openedUrls_; }

 private:
  std::vector<std::string> openedUrls_;
};

/// The test backend: no display, nothing drawn for a person to see (pages run no scripts and
/// videos are not decoded), fully deterministic on the manual clock. It is for tests and
/// tools; a host application uses the desktop backend, since an ad shown here is seen by no one.
/// Create one on the main thread before using the SDK; it installs its services (see
/// `BackendServices`): the host environment, its run loop as the main queue, its player and web
/// engines, its URL handler and a key window of the screen's size whose root view controller
/// stands for the host's screen. Destroying it uninstalls all of that.
class ZELVORA_API HeadlessPlatform final : public Backend {
 public:
  explicit HeadlessPlatform(HostEnvironment environment = {}, ClockMode clock = ClockMode::real);
  ~HeadlessPlatform() override;
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  /// The main queue, with the manual clock's controls.
  RunLoop& runLoop() { return runLoop_; }
  RunnableQueue& mainQueue() override { return runLoop_; }
  std::shared_ptr<Window> window() const override { return services_.window(); }
  std::shared_ptr<ViewController> rootViewController() const override {
    return services_.rootViewController();
  }
  RecordingUrlHandler& urlHandler() override { return *urlHandler_; }
  HeadlessWebEngine& webEngine() override { return *webEngine_; }
  /// Draws the key window into a PNG (see headless::snapshot).
  bool screenshot(const std::filesystem::path& path) override;

 private:
  RunLoop runLoop_;
  std::shared_ptr<RecordingUrlHandler> urlHandler_;
  std::shared_ptr<HeadlessWebEngine> webEngine_;
  BackendServices services_;
};

}  // namespace zelvora::platform::headless
