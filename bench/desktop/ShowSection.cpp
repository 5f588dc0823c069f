// What showing each format costs the main thread and the CPU: the showAd call itself, the
// longest gap around it, the gaps while the ad is on screen, and the CPU a static banner takes
// against an idle window. Ads scale to their window, so every figure is taken at each window
// size, each size in processes of its own.
#include <gtk/gtk.h>

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "DesktopBench.h"
#include "Sections.h"
#include "zelvora/Log.h"
#include "zelvora/platform/gtk/GtkPlatform.h"
#include "zelvora/platform/ui/Touch.h"

namespace zelvora::bench {
namespace {

const std::vector<std::string> kFormats{"banner", "video", "mraid", "html"};

std::shared_ptr<platform::View> findView(const std::shared_ptr<platform::View>& root,
                                         const std::string& identifier) {
  if (root->accessibilityIdentifier == identifier) return root;
  for (const auto& child : root->subviews())
    if (auto found = findView(child, identifier)) return found;
  return nullptr;
}

/// Closes the ad on screen as its user would: the video's skip control, else the close button.
void closeAd(platform::gtk::GtkPlatform& platform) {
  for (const char* control : {"skip", "close"}) {
    if (auto view = findView(platform.window(), control); view && platform::sendTap(view)) return;
  }
  platform.rootViewController()->dismiss(false);
}

JSON showPlacements() {
  JSON placements = JSON::object();
  placements["banner"] = placement("banner", "banner", bannerAd("banner", "large-banner.png"));
  placements["video"] = placement("video", "video", videoAd("video"));
  placements["mraid"] = placement("mraid", "mraidTag", mraidAd("mraid"));
  placements["html"] = placement("html", "html", htmlAd("html"));
  return placements;
}

/// A desktop window the ads are shown in.
struct WindowSize {
  int width;
  int height;
  std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

/// The first is the size the figures without a size in their name were always taken at; the
/// others carry theirs. A quick run takes the largest beside it: what scaling costs shows most
/// there.
std::vector<WindowSize> windowSizes(bool quick) {
  if (quick) return {{720, 1280}, {3840, 2160}};
  return {{720, 1280}, {1920, 1080}, {3840, 2160}};
}

/// args: the server's URL, a scratch folder, the seconds of each measuring window, the
/// window's width and height.
int child(const std::vector<std::string>& args) {
  setLogSink([](std::string_view) {});
  const double window = std::stod(args.at(2));
  const WindowSize size{std::stoi(args.at(3)), std::stoi(args.at(4))};
  const fs::path root = fs::path(args.at(1)) / ("show-" + std::to_string(::getpid()));
  auto delegate = std::make_shared<CountingDelegate>();
  platform::gtk::GtkPlatform platform(benchEnvironment(root, size.width, size.height),
                                      platform::gtk::UrlMode::record);
  auto& queue = platform.mainQueue();
  const auto wait = [&](double seconds) { queue.runUntil([] { return false; }, seconds); };
  const auto canvasSize = [&] {
    return WindowSize{gtk_widget_get_allocated_width(platform.canvas()),
                      gtk_widget_get_allocated_height(platform.canvas())};
  };
  platform.showWindow();

  auto& sdk = ZelController::sharedInstance();
  sdk.setEventDelegate(delegate);
  sdk.setServerConfiguration({.url = args.at(0), .caFile = {}, .timeoutSeconds = 30, .limits = {}});
  const auto initialized = Clock::now();
  sdk.initialize(kAppId);
  if (!queue.runUntil([&] { return delegate->ready.size() == kFormats.size(); }, 60))
    throw std::runtime_error("not every ad became ready");
  wait(0.5);
  // Each window, turned by an ad or not, is to lie on the X screen whole, as it would on a
  // monitor of its size.
  const auto checkOnScreen = [&](const WindowSize& shown) {
    GdkWindow* root = gdk_get_default_root_window();
    const WindowSize screen{gdk_window_get_width(root), gdk_window_get_height(root)};
    if (shown.width > screen.width || shown.height > screen.height)
      throw std::runtime_error("a " + shown.name() + " window does not fit on the " +
                               screen.name() + " X screen");
  };
  if (const WindowSize shown = canvasSize();
      shown.width != size.width || shown.height != size.height)
    throw std::runtime_error("the window is " + shown.name() + ", not " + size.name());
  checkOnScreen(size);

  Fields fields;
  for (const auto& format : kFormats)
    fields["ready_ms_" + format] =
        std::chrono::duration<double, std::milli>(delegate->readyAt.at(format) - initialized)
            .count();
  {
    const CpuMeter cpu;
    wait(window);
    fields["cpu_idle_pct"] = cpu.percent();
  }
  std::optional<GapProbe> probe(std::in_place);
  wait(window / 2);
  fields["idle_gap_max_ms"] = probe->longest();
  fields["idle_gap_p99_ms"] = probe->percentile(99);

  for (const auto& format : kFormats) {
    probe.emplace();
    wait(0.05);
    probe->reset();
    const auto start = Clock::now();
    sdk.showAd(platform.rootViewController(), format);
    fields["show_call_ms_" + format] = millisecondsSince(start);
    if (!queue.runUntil([&] { return delegate->shown.count(format) > 0; }, 10))
      throw std::runtime_error("the " + format + " ad was not shown");
    wait(0.25);
    fields["show_gap_max_ms_" + format] = probe->longest();
    // An ad of one shape only turns a window of the other.
    const WindowSize shown = canvasSize();
    checkOnScreen(shown);
    fields["width_" + format] = shown.width;
    fields["height_" + format] = shown.height;

    probe->reset();
    wait(window);
    fields["screen_gap_max_ms_" + format] = probe->longest();
    fields["screen_gap_p99_ms_" + format] = probe->percentile(99);
    if (format == "banner") {
      probe.reset();
      const CpuMeter cpu;
      wait(window);
      fields["cpu_banner_pct"] = cpu.percent();
    }
    probe.reset();
    closeAd(platform);
    if (!queue.runUntil([&] { return delegate->closed.count(format) > 0; }, 10))
      throw std::runtime_error("the " + format + " ad did not close");
    wait(0.5);
  }
  printFields(fields);
  return 0;
}

/// The figures of one window size out of its rounds.
std::vector<Figure> figuresOf(const std::vector<Fields>& rounds, const WindowSize& size,
                              bool named) {
  const auto m = [&](const std::string& key) { return medianOf(rounds, key); };
  const std::string suffix = named ? "_" + size.name() : "";
  std::printf("window %s:\n", size.name().c_str());
  std::printf(
      "  idle window: %.1f%% CPU; main-thread gaps: longest %.1f ms, 99th percentile "
      "%.1f ms (the probe's own period is %u ms)\n",
      m("cpu_idle_pct"), m("idle_gap_max_ms"), m("idle_gap_p99_ms"), GapProbe::kProbeMs);
  std::printf("  large banner (720x1280) on screen: %.1f%% CPU\n", m("cpu_banner_pct"));
  std::vector<Figure> figures{
      {"cpu_idle_window_pct" + suffix, m("cpu_idle_pct"), 1},
      {"cpu_banner_shown_pct" + suffix, m("cpu_banner_pct"), 1},
      {"cpu_banner_over_idle" + suffix, m("cpu_banner_pct") / std::max(m("cpu_idle_pct"), 0.1), 1},
      {"idle_gap_max_ms" + suffix, m("idle_gap_max_ms"), 1},
      {"idle_gap_p99_ms" + suffix, m("idle_gap_p99_ms"), 1},
  };
  for (const auto& format : kFormats) {
    std::printf(
        "  %-6s ready after %.0f ms; shown in %.0fx%.0f: showAd call %.2f ms; longest gap "
        "around it %.1f ms; on screen: longest gap %.1f ms, 99th percentile %.1f ms\n",
        format.c_str(), m("ready_ms_" + format), m("width_" + format), m("height_" + format),
        m("show_call_ms_" + format), m("show_gap_max_ms_" + format),
        m("screen_gap_max_ms_" + format), m("screen_gap_p99_ms_" + format));
    figures.push_back({"desktop_ready_ms_" + format + suffix, m("ready_ms_" + format), 1});
    figures.push_back({"show_call_ms_" + format + suffix, m("show_call_ms_" + format), 2});
    figures.push_back({"show_gap_max_ms_" + format + suffix, m("show_gap_max_ms_" + format), 1});
    figures.push_back(
        {"screen_gap_max_ms_" + format + suffix, m("screen_gap_max_ms_" + format), 1});
    figures.push_back(
        {"screen_gap_p99_ms_" + format + suffix, m("screen_gap_p99_ms_" + format), 1});
  }
  figures.push_back({"screen_gap_p99_banner_over_idle" + suffix,
                     m("screen_gap_p99_ms_banner") / std::max(m("idle_gap_p99_ms"), 0.1), 2});
  return figures;
}

std::vector<Figure> run(const Context& context) {
  auto server = startServer(showPlacements(), context.assets);
  const std::string window = context.options.quick ? "1" : "2";
  const auto sizes = windowSizes(context.options.quick);
  std::vector<std::vector<Fields>> rounds(sizes.size());
  // Round by round over the sizes, so that a load that comes and goes on the machine hits
  // every size alike.
  for (int round = 0; round < context.options.rounds; ++round) {
    for (std::size_t i = 0; i < sizes.size(); ++i)
      rounds[i].push_back(
          runChild("show", {server->endpointUrl(), context.folder.string(), window,
                            std::to_string(sizes[i].width), std::to_string(sizes[i].height)}));
  }
  std::vector<Figure> figures;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    auto more = figuresOf(rounds[i], sizes[i], i > 0);
    figures.insert(figures.end(), more.begin(), more.end());
  }
  return figures;
}

}  // namespace

Section showSection() {
  return {"show", run, child};
}

}  // namespace zelvora::bench
