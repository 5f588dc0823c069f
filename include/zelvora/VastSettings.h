#pragma once

#include "zelvora/Export.h"

namespace zelvora {

/// VAST video for ads of the format "videoVast". Off by default: such ads then never load and
/// are never shown, as before VAST was supported. Zero or a negative value keeps a default.
struct ZELVORA_API VastSettings {
  bool enabled = false;
  /// Wrappers followed before the inline ad at most (the VAST standard advises 5).
  int maxWrapperDepth = 5;
  /// Seconds one VAST document may take to arrive.
  double requestTimeoutSeconds = 5;
  /// Media files above this many kilobits a second are played only when nothing else is.
  int maxBitrateKbps = 8000;
};

}  // namespace zelvora
