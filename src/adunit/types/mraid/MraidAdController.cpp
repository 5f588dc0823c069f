#include "adunit/types/mraid/MraidAdController.h"

#include "adunit/types/mraid/MraidConstants.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "zelvora/Log.h"

namespace zelvora {

void MraidAdController::userContentControllerDidReceive(platform::UserContentController&,
                                                        const platform::ScriptMessage& message) {
  log("Message received: " + message.name + " with body: " + serialize(message.body));
  auto ad = mraiAd.lock();
  if (!ad) return;
  const auto name = stringValue(member(message.body, "name"));
  if (name == "open" || name == "playVideo") {
    const auto uri = stringValue(member(message.body, "params"));
    if (!isValidUrl(uri)) {
      log("MRAID " + name + " ignored: \"params\" is not a URL");
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
  }
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
