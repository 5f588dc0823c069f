// zelvora-bench-desktop: see DesktopBench.h. Options: --quick (fewer ads, one round, shorter
// windows), --rounds N, --only SECTION.
#include <cairo.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "DesktopBench.h"
#include "Sections.h"

namespace zelvora::bench {
namespace {

std::vector<Section> sections() {
  return {webMemorySection(), showSection(), readySection()};
}

/// A 720x1280 picture, the size of a large portrait banner.
void writeLargeBanner(const fs::path& file) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 720, 1280);
  cairo_t* cr = cairo_create(surface);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 720, 1280);
  cairo_pattern_add_color_stop_rgb(gradient, 0, 0.1, 0.2, 0.55);
  cairo_pattern_add_color_stop_rgb(gradient, 1, 0.55, 0.15, 0.5);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  cairo_set_source_rgb(cr, 0.97, 0.82, 0.24);
  cairo_arc(cr, 360, 520, 180, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_write_to_png(surface, file.c_str());
  cairo_surface_destroy(surface);
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  if (!(in >> one >> five >> fifteen)) return "unknown";
  return one + " " + five + " " + fifteen;
}

int runParent(Options options, const std::string& only) {
  const std::string loadBefore = loadAverage();
  Context context;
  context.options = options;
  context.folder =
      fs::temp_directory_path() / ("zelvora-bench-desktop-" + std::to_string(::getpid()));
  context.assets = context.folder / "assets";
  fs::create_directories(context.assets);
  fs::copy(ZELVORA_BENCH_SERVER_ASSETS_DIR, context.assets, fs::copy_options::recursive);
  writeLargeBanner(context.assets / "large-banner.png");

  std::printf(
      "zelvora-bench-desktop: desktop backend, reference server on 127.0.0.1, %d "
      "round(s) per figure, a fresh process per round%s\n",
      options.rounds, options.quick ? " (quick)" : "");
  std::fflush(stdout);
  std::vector<Figure> figures;
  int status = 0;
  for (const auto& section : sections()) {
    if (!only.empty() && section.name != only) continue;
    try {
      auto more = section.run(context);
      figures.insert(figures.end(), more.begin(), more.end());
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", section.name.c_str(), error.what());
      status = 1;
    }
    std::fflush(stdout);
  }
  std::printf("load average before/after: %s / %s (other processes share the machine)\n",
              loadBefore.c_str(), loadAverage().c_str());
  std::error_code error;
  fs::remove_all(context.folder, error);
  std::printf("\n");
  for (const auto& figure : figures)
    std::printf("%s: %.*f\n", figure.name.c_str(), figure.decimals, figure.value);
  return status;
}

}  // namespace
}  // namespace zelvora::bench

int main(int argc, char** argv) {
  using namespace zelvora::bench;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--child") {
    for (const auto& section : sections()) {
      if (section.name != args[1]) continue;
      try {
        return section.child({args.begin() + 2, args.end()});
      } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
      }
    }
    return 2;
  }
  Options options;
  std::string only;
  bool roundsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quick") {
      options.quick = true;
    } else if (args[i] == "--rounds" && i + 1 < args.size()) {
      options.rounds = std::max(1, std::atoi(args[++i].c_str()));
      roundsGiven = true;
    } else if (args[i] == "--only" && i + 1 < args.size()) {
      only = args[++i];
    } else {
      std::fprintf(stderr,
                   "usage: zelvora-bench-desktop [--quick] [--rounds N] [--only SECTION]\n");
      return 2;
    }
  }
  if (options.quick && !roundsGiven) options.rounds = 1;
  return runParent(options, only);
}
