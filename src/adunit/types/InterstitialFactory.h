#pragma once

#include <memory>

#include "adunit/Ad.h"

namespace zelvora {

/// Builds the interstitial ad unit of an ad's format.
struct InterstitialFactory {
  /// `data` is the whole ad object; none for a format without an ad unit.
  static std::shared_ptr<Ad> createAdUnit(const JSON& data);
};

}  // namespace zelvora
