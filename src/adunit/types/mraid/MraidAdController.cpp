#include "adunit/types/mraid/MraidAdController.h"

#include "adunit/types/mraid/MraidConstants.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "zelvora/Log.h"

namespace zelvora {

void MraidAdController::userContentControllerDidReceive(platform::UserContentController&,
                                                        const platform::ScriptMessage& message) {
  log(LogLevel::trace,
      "Message received: " + message.name + " with body: " + serialize(message.body));
  auto ad = mraiAd.lock();
  if (!ad) return;
  const auto name = stringValue(member(message.body, "name"));
  if (name == "open" || name == "playVideo") {
    const auto uri = stringValue(member(message.body, "params"));
    if (!isValidUrl(uri)) {
      log(LogLevel::warning, "MRAID " + name + " ignored: \"params\" is not a URL");
      return;
    }
    if (name == "open")
      ad->openUri(uri);
    else
      ad->playVideo(uri);
  } else if (name == "close") {
    close(*ad);
  } else if (name == "unload") {
    ad->closeAd();
  } else if (name == "fallback") {
    fallback(*ad);
  } else if (name == "setOrientationProperties") {
    setOrientationProperties(*ad, member(message.body, "params"));
  }
}

void MraidAdController::setOrientationProperties(MraidAd& ad, const JSON& properties) {
  const auto& allow = member(properties, "allowOrientationChange");
  const auto& force = member(properties, "forceOrientation");
  const bool allowValid = allow.is_null() || allow.is_boolean();
  const bool forceValid =
      force.is_null() || force == "portrait" || force == "landscape" || force == "none";
  if (!properties.is_object() || !allowValid || !forceValid) {
    log(LogLevel::warning,
        "MRAID setOrientationProperties ignored: \"params\" are not orientation properties");
    return;
  }
  ad.setOrientationProperties(allow.is_null() || allow.get<bool>(),
                              force.is_null() ? "none" : force.get<std::string>());
}

void MraidAdController::close(MraidAd& ad) {
  ad.setViewable(false);
  ad.setContainerState(Mraid::containerHiddenState);
  ad.closeAd();
}

void MraidAdController::fallback(MraidAd& ad) {
  ad.setViewable(false);
  ad.setContainerState(Mraid::containerHiddenState);
  ad.fallback();
}

}  // namespace zelvora
