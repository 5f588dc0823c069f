// Time from initialize to the first and the last onAdReady against libcurl fetching the same
// bytes, unthrottled and through a 2 MB/s link (ready_bench.h). Its rounds run on the
// headless backend: the figures are the network's and the SDK's, not the window's.
#include <algorithm>

#include "Sections.h"
#include "ready_bench.h"

namespace zelvora::bench {

Section readySection() {
  Section section;
  section.name = "ready";
  section.run = [](const Context& context) {
    ReadyOptions options;
    options.roundPrefix = {"--child", "ready"};
    options.rounds = context.options.quick ? 1 : std::max(5, context.options.rounds);
    options.throttledRounds = context.options.quick ? 1 : context.options.rounds;
    std::vector<Figure> figures;
    for (const auto& [name, value] : runReadyBench(options)) figures.push_back({name, value, 3});
    return figures;
  };
  section.child = [](const std::vector<std::string>& args) { return runReadyRound(args); };
  return section;
}

}  // namespace zelvora::bench
