#pragma once

#include <string>

namespace zelvora {

/// The JSON text of the MRAID "supports" object: which device features the creative may use.
std::string getSupports();

}  // namespace zelvora
