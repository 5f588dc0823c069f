#include "zelvora/platform/headless/HeadlessPlatform.h"

#include "zelvora/platform/Device.h"
#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/media/PlayerEngine.h"

namespace zelvora::platform::headless {

bool RecordingUrlHandler::canOpen(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos) return false;
  const std::string scheme = url.substr(0, colon);
  return scheme == "http" || scheme == "https" || scheme == "itms" || scheme == "itms-apps" ||
         scheme == "itms-appss";
}

HeadlessPlatform::HeadlessPlatform(HostEnvironment environment, ClockMode clock)
    : runLoop_(clock),
      urlHandler_(std::make_shared<RecordingUrlHandler>()),
      webEngine_(std::make_shared<HeadlessWebEngine>()) {
  setHostEnvironment(std::move(environment));
  installMainQueue(&runLoop_);
  installMediaBackend();
  installWebEngine(webEngine_);
  auto& application = Application::shared();
  application.reset();
  application.setUrlHandler(urlHandler_);
  window_ = std::make_shared<Window>(screen::bounds());
  application.setKeyWindow(window_);
  root_ = std::make_shared<ViewController>();
  window_->setRootViewController(root_);
}

HeadlessPlatform::~HeadlessPlatform() {
  installPlayerEngineFactory({});
  installWebEngine(nullptr);
  Application::shared().reset();
  installMainQueue(nullptr);
}

}  // namespace zelvora::platform::headless
