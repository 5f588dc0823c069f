#pragma once

#include <iostream>
#include <string>

namespace demo {

/// The demo's own console lines. With --quiet only the summary is printed, so every
/// narrating line goes through here.
struct Console {
  static inline bool quiet = false;

  static void say(const std::string& line) {
    if (!quiet) std::cout << "[demo] " << line << std::endl;
  }
  static void print(const std::string& text) {
    if (!quiet) std::cout << text << std::flush;
  }
};

}  // namespace demo
