#include "zelvora/platform/Backend.h"

#include <stdexcept>

#include "zelvora/platform/Device.h"

namespace zelvora::platform {
namespace {
bool installed = false;
std::uint64_t started = 0;
std::function<void()>& startedHandler() {
  static std::function<void()> handler;
  return handler;
}
}  // namespace

std::uint64_t BackendServices::generation() {
  return started;
}

void BackendServices::setStartedHandler(std::function<void()> handler) {
  startedHandler() = std::move(handler);
}

BackendServices::BackendServices(Parts parts) {
  if (installed) throw std::logic_error("zelvora: another platform backend is alive");
  installed = true;
  setHostEnvironment(std::move(parts.environment));
  installMainQueue(parts.mainQueue);
  installPlayerEngineFactory(std::move(parts.playerEngines));
  installMediaTypeCheck(std::move(parts.mediaTypes));
  installWebEngine(std::move(parts.webEngine));
  auto& application = Application::shared();
  application.reset();
  // The screen in its own shape: one wider than tall starts in landscape.
  application.screenDidResize({hostEnvironment().screenWidth, hostEnvironment().screenHeight});
  application.setUrlHandler(std::move(parts.urlHandler));
  window_ = std::make_shared<Window>(screen::bounds());
  application.setKeyWindow(window_);
  root_ = std::make_shared<ViewController>();
  window_->setRootViewController(root_);
  ++started;
  if (startedHandler())
    postToMainQueue([] {
      if (startedHandler()) startedHandler()();
    });
}

BackendServices::~BackendServices() {
  Application::shared().reset();
  installWebEngine(nullptr);
  installMediaTypeCheck({});
  installPlayerEngineFactory({});
  // The queue goes last: whatever is torn down above may still post to it.
  installMainQueue(nullptr);
  installed = false;
}

bool Backend::handleKey(Key key) {
  const auto shown = window();
  if (!shown || !shown->keyScreen()) return false;
  shown->handleKey(key);
  return true;
}

}  // namespace zelvora::platform
