#include "zelvora/platform/headless/HeadlessPlatform.h"

#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/headless/Snapshot.h"
#include "zelvora/platform/media/Gstreamer.h"

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
      webEngine_(std::make_shared<HeadlessWebEngine>()),
      services_({std::move(environment), &runLoop_, playerEngines(), webEngine_, urlHandler_,
                 gstreamerCanPlay}) {}

HeadlessPlatform::~HeadlessPlatform() = default;

bool HeadlessPlatform::screenshot(const std::filesystem::path& path) {
  auto root = Application::shared().keyWindow();
  if (!root) root = window();
  return root && snapshot(*root, path);
}

}  // namespace zelvora::platform::headless
