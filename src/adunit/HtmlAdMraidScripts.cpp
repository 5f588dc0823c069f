// What an MRAID creative is told: the environment, its properties and its events, as the
// JavaScript texts evaluated in its page.

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
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

JSON rectangle(const Rect& rect) {
  return {{"x", points(rect.x)},
          {"y", points(rect.y)},
          {"width", points(rect.width)},
          {"height", points(rect.height)}};
}

/// A number as JavaScript reads it: whole numbers without a fraction, others to 1/100.
std::string numberText(double value) {
  if (value == std::floor(value)) return std::to_string(static_cast<std::int64_t>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string result = text;
  while (result.back() == '0') result.pop_back();
  return result;
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
    else if (const auto* real = std::get_if<double>(&param))
      list += numberText(*real);
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

std::string HtmlAd::sizePropertiesScript() const {
  return createJSProperty("screenSize", getScreenSize()) +
         createJSProperty("maxSize", getMaxSize()) +
         createJSProperty("defaultPosition", getDefaultPosition()) +
         createJSProperty("currentPosition", getDefaultPosition()) +
         createJSProperty("currentAppOrientation", getCurrentAppOrientation());
}

void HtmlAd::notePresentationTold() {
  toldSizes_ = sizePropertiesScript();
  toldSize_ =
      webView ? Size{std::trunc(webView->frame.width), std::trunc(webView->frame.height)} : Size{};
}

void HtmlAd::updatePresentationData() {
  // Before the presentation data, the page has no sizes to refresh.
  if (!mraid() || !interstitialVC || !webView || pageLost_ || toldSizes_.empty()) return;
  auto sizes = sizePropertiesScript();
  if (sizes == toldSizes_) {
    updateExposure();
    return;
  }
  toldSizes_ = sizes;
  const Size size{std::trunc(webView->frame.width), std::trunc(webView->frame.height)};
  const bool resized = size != toldSize_;
  toldSize_ = size;
  sizesPending_ = true;
  webView->evaluateJavaScript(std::move(sizes), [weak = std::weak_ptr<HtmlAd>(self()), resized,
                                                 size](const JavaScriptResult&) {
    auto ad = weak.lock();
    if (!ad) return;
    ad->sizesPending_ = false;
    if (resized)
      ad->triggerEvent(Mraid::sizeChangeEvent, {points(size.width), points(size.height)});
    ad->updateExposure();
  });
}

MraidExposure HtmlAd::currentExposure() const {
  auto& application = Application::shared();
  const auto window = application.keyWindow();
  if (!onScreen || closing_ || !application.isActive() || !webView || !webView->superview() ||
      !interstitialVC || !window || !window->isVisible())
    return {};
  std::vector<Rect> covers;
  const auto cover = [&](const std::shared_ptr<View>& view) {
    if (!view->isHidden && view->alpha > 0) covers.push_back(view->frameInRoot());
  };
  // The screens presented over the interstitial (the creative's player) ...
  bool above = false;
  for (const auto& controller : window->viewControllerStack()) {
    if (above && controller->isViewLoaded()) cover(controller->view());
    above = above || controller == interstitialVC;
  }
  if (!above) return {};
  // ... and what is laid over the ad on its own screen (the click-through), the ad's own
  // close button aside.
  if (container) {
    for (const auto& view : container->subviews()) {
      if (view != container->contentView && view != container->closeButton) cover(view);
    }
  }
  return measureExposure(*webView, window->bounds(), covers);
}

std::vector<MraidParam> HtmlAd::exposureParams(const MraidExposure& exposure) const {
  if (!exposure.visible) return {std::int64_t{0}, std::string("null"), std::string("null")};
  const std::string visible = pretty(rectangle(*exposure.visible));
  // Fully seen: as it always read, the percentage and the rectangle.
  if (exposure.percentage == 100 && exposure.occlusions.empty())
    return {std::int64_t{100}, visible};
  JSON occlusions = JSON::array();
  for (const auto& rect : exposure.occlusions) occlusions.push_back(rectangle(rect));
  return {exposure.percentage, visible,
          exposure.occlusions.empty() ? std::string("null") : pretty(occlusions)};
}

void HtmlAd::updateExposure() {
  // After new sizes, the exposure follows their "sizeChange".
  if (!mraid() || !webView || pageLost_ || sizesPending_) return;
  // The first exposure is the one of the appearance.
  if (!toldExposure_ && !onScreen) return;
  const auto exposure = currentExposure();
  if (toldExposure_ == exposure) return;
  toldExposure_ = exposure;
  const bool viewable = exposure.percentage > 0;
  if (viewable != viewable_) setViewable(viewable);
  triggerEvent(Mraid::exposureChangeEvent, exposureParams(exposure));
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
      log(LogLevel::error, "cannot read " + *Asset::mraidJSPath + ": " + std::strerror(errno));
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
  // The web view is inset in its frame: what the page lays itself out in is its own frame.
  if (!container || !webView || !webView->superview()) return pretty(rectangle({}));
  return pretty(rectangle(webView->frameInRoot()));
}

std::string HtmlAd::getExpandProperties() const {
  const bool placed = container && webView && webView->superview();
  return pretty({{"width", placed ? points(webView->frame.width) : 0},
                 {"height", placed ? points(webView->frame.height) : 0},
                 {"useCustomClose", false},
                 {"isModal", true}});
}

std::string HtmlAd::getCurrentAppOrientation() const {
  const bool portrait = isPortrait(Application::shared().statusBarOrientation());
  const bool locked = interstitialVC && interstitialVC->requestedOrientation.has_value();
  return pretty({{"orientation", portrait ? "portrait" : "landscape"}, {"locked", locked}});
}

std::string HtmlAd::getOrientationProperties() const {
  return pretty({{"allowOrientationChange", allowOrientationChange_},
                 {"forceOrientation", forceOrientation_}});
}

}  // namespace zelvora
