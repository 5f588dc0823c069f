#pragma once

#include "adunit/Ad.h"

namespace zelvora {

/// The ad unit of the format "videoVast": not supported yet, so it never loads and is never
/// shown; its placement stays silent.
class InterstitialVast : public Ad {
 public:
  using Ad::Ad;
};

}  // namespace zelvora
