#pragma once

namespace zelvora {

/// Seconds since 1970 with fraction, from the main queue's clock (deterministic under a
/// manual clock; the system clock when no queue is installed).
double currentTime();

}  // namespace zelvora
