#pragma once

#include "DesktopBench.h"

namespace zelvora::bench {

/// One frame at 60 Hz, the budget a turn of the main thread must stay within.
constexpr double kFrameMs = 1000.0 / 60;

/// Each section, in the order the program runs them.
Section webMemorySection();
Section showSection();
Section readySection();

}  // namespace zelvora::bench
