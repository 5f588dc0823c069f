#pragma once

namespace zelvora {

/// Seconds since 1970 with fraction, from the main queue's clock (deterministic under a
/// manual clock; the system clock when no queue is installed). Only for timestamps that leave
/// the process: the wall clock can be set back or jump ahead at any moment.
double currentTime();

/// Seconds on a clock that never runs backwards (the main queue's; the steady clock when no
/// queue is installed), for durations. Each backend's clock is its own: a time taken on one
/// means nothing on the next.
double monotonicTime();

}  // namespace zelvora
