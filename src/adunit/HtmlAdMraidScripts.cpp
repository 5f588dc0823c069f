// What an MRAID creative is told: the environment, its properties and its events, as the
// JavaScript texts evaluated in its page.

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "adunit/HtmlAd.h"
#include "adunit/types/mraid/MraidConstants.h"
#include "adunit/types/mraid/MraidHelper.h"
#include "tools/Assets.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Device.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {
using namespace platform;

namespace {
std::string pretty(const JSON& value) {
  return value.dump(2, ' ', false, JSON::error_handler_t::replace);
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

/// A JavaScript string literal of `text`.
std::string stringLiteral(const std::string& text) {
  std::string literal = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (const char c = text[i]) {
      case '\\':
        literal += "\\\\";
        break;
      case '"':
        literal += "\\\"";
        break;
      case '\'':
        literal += "\\'";
        break;
      case '\n':
        literal += "\\n";
        break;
      case '\r':
        literal += "\\r";
        break;
      case '\t':
        literal += "\\t";
        break;
      case '\0':
        // "\0" before a digit would read as an octal escape.
        literal += i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))
                       ? "\\x00"
                       : "\\0";
        break;
      default:
        literal += c;
    }
  }
  return literal + "\"";
}

std::string textOf(const JSValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  return std::get<std::string>(value);
}

/// Truncates toward zero, as sizes in points are given to the page.
std::int64_t points(double value) {
  return static_cast<std::int64_t>(value);
}
}  // namespace

std::string HtmlAd::createJSProperty(const std::string& name, const JSValue& value) {
  return "window.mraidData." + name + " = " + textOf(value) + ";";
}

void HtmlAd::setJSProperty(const std::string& name, const JSValue& value) {
  if (webView) webView->evaluateJavaScript(createJSProperty(name, value));
}

void HtmlAd::triggerEvent(const std::string& event, const std::vector<MraidParam>& params) {
  if (!webView) return;
  std::string list;
  for (const auto& param : params) {
    if (!list.empty()) list += ", ";
    if (const auto* number = std::get_if<std::int64_t>(&param))
      list += std::to_string(*number);
    else
      list += stringLiteral(std::get<std::string>(param));
  }
  webView->evaluateJavaScript("mraidController.triggerEvent(" + quoted(event) + ", [" + list +
                              "]);");
}

void HtmlAd::setContainerState(const std::string& state) {
  currentContainerState = state;
  setJSProperty("state", quoted(state));
  triggerEvent(Mraid::stateChangeEvent, {state});
}

void HtmlAd::updatePresentationData() {
  if (!mraid() || !interstitialVC || !webView) return;
  webView->evaluateJavaScript(
      createJSProperty("currentPosition", getDefaultPosition()),
      [weak = std::weak_ptr<HtmlAd>(self())](const JavaScriptResult&) {
        auto ad = weak.lock();
        if (!ad || !ad->container) return;
        ad->triggerEvent(Mraid::sizeChangeEvent, {std::int64_t{ad->container->getContentWidth()},
                                                  std::int64_t{ad->container->getContentHeight()}});
        ad->triggerEvent(Mraid::exposureChangeEvent, {std::int64_t{100}, ad->getDefaultPosition()});
      });
}

std::string HtmlAd::createMraidEnvObject() const {
  const JSON environment = {
      {"version", Mraid::version}, {"sdk", Mraid::sdkName}, {"sdkVersion", Mraid::sdkVersion}};
  return "window.MRAID_ENV = " + pretty(environment) + ";";
}

std::string HtmlAd::createInitialData() const {
  std::string script = createMraidEnvObject() + "window.mraidData = {};" +
                       createJSProperty("version", quoted(Mraid::version)) +
                       createJSProperty("state", quoted(currentContainerState.value_or(""))) +
                       createJSProperty("isViewable", false) +
                       createJSProperty("placementType", quoted(Mraid::placementType));
  if (Asset::mraidJSPath) {
    std::ifstream file(*Asset::mraidJSPath, std::ios::binary);
    std::ostringstream text;
    if (file && (text << file.rdbuf()))
      script += text.str();
    else
      log("cannot read " + *Asset::mraidJSPath + ": " + std::strerror(errno));
  }
  return script;
}

std::string HtmlAd::createPresentationData() const {
  return createJSProperty("supports", getSupports()) +
         createJSProperty("screenSize", getScreenSize()) +
         createJSProperty("maxSize", getMaxSize()) +
         createJSProperty("defaultPosition", getDefaultPosition()) +
         createJSProperty("currentPosition", getDefaultPosition()) +
         createJSProperty("expandProperties", getExpandProperties()) +
         createJSProperty("currentAppOrientation", getCurrentAppOrientation()) +
         createJSProperty("orientationProperties", getOrientationProperties());
}

std::string HtmlAd::getScreenSize() const {
  const auto bounds = screen::bounds();
  return pretty({{"width", points(bounds.width)}, {"height", points(bounds.height)}});
}

std::string HtmlAd::getMaxSize() const {
  const auto bounds = container ? container->bounds() : Rect{};
  return pretty({{"width", points(bounds.width)}, {"height", points(bounds.height)}});
}

std::string HtmlAd::getDefaultPosition() const {
  if (!container) return pretty({{"x", 0}, {"y", 0}, {"width", 0}, {"height", 0}});
  return pretty({{"x", container->getContentXPosition()},
                 {"y", container->getContentYPosition()},
                 {"width", container->getContentWidth()},
                 {"height", container->getContentHeight()}});
}

std::string HtmlAd::getExpandProperties() const {
  return pretty({{"width", container ? container->getContentWidth() : 0},
                 {"height", container ? container->getContentHeight() : 0},
                 {"useCustomClose", false},
                 {"isModal", true}});
}

std::string HtmlAd::getCurrentAppOrientation() const {
  const bool portrait = isPortrait(Application::shared().statusBarOrientation());
  const bool locked = interstitialVC && interstitialVC->requestedOrientation.has_value();
  return pretty({{"orientation", portrait ? "portrait" : "landscape"}, {"locked", locked}});
}

std::string HtmlAd::getOrientationProperties() const {
  return pretty({{"allowOrientationChange", true}, {"forceOrientation", "none"}});
}

}  // namespace zelvora
