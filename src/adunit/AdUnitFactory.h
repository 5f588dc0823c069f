#pragma once

#include <memory>

#include "adunit/Ad.h"

namespace zelvora {

/// The entry point the placement uses to turn an ad object into an ad unit.
struct AdUnitFactory {
  /// `data` is the whole ad object; none when its type or format is not supported.
  static std::shared_ptr<Ad> createAdUnit(const JSON& data);
};

}  // namespace zelvora
