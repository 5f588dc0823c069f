#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/headless/HeadlessWebEngine.h"
#include "zelvora/platform/headless/RunLoop.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform::headless {

/// Records the URLs handed to the system instead of opening them. Web addresses and store
/// addresses ("itms", "itms-apps", "itms-appss") can be opened; other schemes cannot.
class RecordingUrlHandler : public UrlHandler {
 public:
  bool canOpen(const std::string& url) override;
  void open(const std::string& url) override { openedUrls.push_back(url); }

  std::vector<std::string> openedUrls;
};

/// The headless backend: needs no display and is fully deterministic on the manual clock.
/// Create one on the main thread before using the SDK; it installs the host environment, its
/// run loop as the main queue, and a key window of the screen's size whose root view
/// controller stands for the host's screen, and its web engine. Destroying it uninstalls all
/// of that.
class HeadlessPlatform {
 public:
  explicit HeadlessPlatform(HostEnvironment environment = {}, ClockMode clock = ClockMode::real);
  ~HeadlessPlatform();
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  RunLoop& runLoop() { return runLoop_; }
  std::shared_ptr<Window> window() const { return window_; }
  /// The host's screen: the view controller ads are presented over.
  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  RecordingUrlHandler& urlHandler() { return *urlHandler_; }
  HeadlessWebEngine& webEngine() { return *webEngine_; }

 private:
  RunLoop runLoop_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<ViewController> root_;
  std::shared_ptr<RecordingUrlHandler> urlHandler_;
  std::shared_ptr<HeadlessWebEngine> webEngine_;
};

}  // namespace zelvora::platform::headless
