// zelvora-bench-ready: the ready-time figures alone, on the headless backend (see
// ready_bench.h). Its last lines give each figure as "name: value".
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>

#include "ready_bench.h"

int main(int argc, char** argv) {
  zelvora::bench::ReadyOptions options;
  if (argc > 1 && argv[1] == options.roundPrefix.front())
    return zelvora::bench::runReadyRound({argv + 2, argv + argc});
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (value < 1) break;
    if (flag == "--rounds") options.rounds = value;
    if (flag == "--throttled-rounds") options.throttledRounds = value;
  }
  try {
    for (const auto& [name, value] : zelvora::bench::runReadyBench(options))
      std::printf("%s: %.3f\n", name.c_str(), value);
  } catch (const std::exception& error) {
    std::cerr << "zelvora-bench-ready: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
