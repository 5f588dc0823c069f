#include "zelvora/ZelEventDeclaration.h"

namespace zelvora {

std::string_view logName(Event event) {
  switch (event) {
    case Event::onInit:
      return "onInit";
    case Event::noAds:
      return "onNoAds";
    case Event::adReady:
      return "onAdReady";
    case Event::adShown:
      return "onAdShown";
    case Event::adFailedToShow:
      return "onAdFailedToShow";
    case Event::adClose:
      return "onAdClose";
    case Event::adClick:
      return "onAdClick";
  }
  return "";
}

}  // namespace zelvora
