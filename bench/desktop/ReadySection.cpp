// How soon preloaded ads are ready against libcurl fetching the same bytes (ready_bench.h),
// as a section of this program: its rounds run as `--child ready ...`.
#include "DesktopBench.h"
#include "Sections.h"
#include "ready_bench.h"

namespace zelvora::bench {
namespace {

std::vector<Figure> run(const Context& context) {
  ReadyOptions options;
  options.rounds = context.options.quick ? 3 : 7;
  options.throttledRounds = context.options.quick ? 1 : 3;
  options.roundPrefix = {"--child", "ready"};
  std::vector<Figure> figures;
  for (const auto& [name, value] : runReadyBench(options)) figures.push_back({name, value, 3});
  return figures;
}

}  // namespace

Section readySection() {
  return {"ready", run, [](const std::vector<std::string>& args) { return runReadyRound(args); }};
}

}  // namespace zelvora::bench
