#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "DesktopBench.h"

extern char** environ;

namespace zelvora::bench {

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double medianOf(const std::vector<Fields>& rounds, const std::string& key) {
  std::vector<double> values;
  for (const auto& fields : rounds) {
    if (auto found = fields.find(key); found != fields.end()) values.push_back(found->second);
  }
  return median(values);
}

Fields runChild(const std::string& section, const std::vector<std::string>& args) {
  std::vector<std::string> words{"--child", section};
  words.insert(words.end(), args.begin(), args.end());
  return runChildRound(words);
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<server::ReferenceServer> startServer(const JSON& placements,
                                                     const fs::path& assets) {
  server::ServerOptions options;
  options.host = "127.0.0.1";
  options.campaigns = JSON{{"apps", {{kAppId, {{"placements", placements}}}}}};
  options.assetDirectory = assets;
  auto server = std::make_unique<server::ReferenceServer>(options);
  server->start();
  return server;
}

JSON placement(const std::string& adId, const std::string& subtype, JSON data) {
  data["imp"] = "{server}/t/imp?ad=" + adId;
  data["adCloseBeaconUrl"] = "{server}/t/close?ad=" + adId + "&length={length}";
  JSON ad = JSON::object();
  ad["adId"] = adId;
  ad["offering"] = JSON{{"campaign", "bench"}};
  ad["ad"] = JSON{{"type", "interstitial"}, {"subtype", subtype}, {"data", std::move(data)}};
  JSON object = JSON::object();
  object["name"] = adId;
  object["status"] = "enabled";
  object["ads"] = JSON::array({std::move(ad)});
  return object;
}

namespace {

std::string page(const std::string& adId, bool mraid) {
  return std::string("<!DOCTYPE html>\n<html>\n<head>\n<meta charset='utf-8'>\n") +
         (mraid ? "<script src='mraid.js'></script>\n" : "") +
         "<style>\nhtml, body { margin: 0; height: 100%; }\n"
         "body { display: flex; flex-direction: column; align-items: center;\n"
         "  justify-content: center; color: #fff; font: 18px sans-serif;\n"
         "  background: linear-gradient(#1d3b8b, #5b2a86); }\n"
         ".sun { width: 96px; height: 96px; border-radius: 50%; background: #f7d23e; }\n"
         "</style>\n</head>\n<body>\n<div class='sun'></div>\n<h1>" +
         adId + "</h1>\n<p id='state'>-</p>\n<script>\n" +
         (mraid ? "function show() { document.getElementById('state').textContent =\n"
                  "  mraid.getState() + ' ' + mraid.getScreenSize().width; }\n"
                  "if (mraid.getState() === 'loading') mraid.addEventListener('ready', show);\n"
                  "else show();\n"
                : "document.getElementById('state').textContent = 'ready';\n") +
         "</script>\n</body>\n</html>";
}

}  // namespace

JSON mraidAd(const std::string& adId) {
  return JSON{{"isMraid", true}, {"markup", page(adId, true)}};
}

JSON htmlAd(const std::string& adId) {
  return JSON{{"markup", page(adId, false)}};
}

JSON bannerAd(const std::string&, const std::string& image) {
  return JSON{{"ctv", "{server}/assets/" + image}};
}

JSON videoAd(const std::string&) {
  return JSON{{"video", "{server}/assets/sample-video.webm"}, {"duration", 8}, {"skippableIn", 0}};
}

// ---------------------------------------------------------------------------------------------

void CountingDelegate::onInit(const std::vector<std::string>& ids) {
  placements = ids.size();
  initialised = true;
}
void CountingDelegate::onInitError(const std::string& message) {
  error = message;
}
void CountingDelegate::onNoAds(const std::string& id) {
  ++noAds[id];
}
void CountingDelegate::onAdReady(const std::string& id) {
  ++ready[id];
  lastReady = Clock::now();
  readyAt.try_emplace(id, lastReady);
}
void CountingDelegate::onAdShown(const std::string& id) {
  ++shown[id];
}
void CountingDelegate::onAdFailedToShow(const std::string& id) {
  ++failed[id];
}
void CountingDelegate::onAdClose(const std::string& id) {
  ++closed[id];
}

platform::HostEnvironment benchEnvironment(const fs::path& root, int width, int height) {
  platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.zelvora.bench";
  environment.configDirectory = root / "config";
  environment.cachesDirectory = root / "caches";
  environment.temporaryDirectory = root / "tmp";
  environment.screenWidth = width;
  environment.screenHeight = height;
  std::error_code error;
  for (const auto& directory :
       {environment.configDirectory, environment.cachesDirectory, environment.temporaryDirectory})
    fs::create_directories(directory, error);
  return environment;
}

// ---------------------------------------------------------------------------------------------

GapProbe::GapProbe() : last_(Clock::now()) {
  source_ = g_timeout_add_full(G_PRIORITY_HIGH, kProbeMs, &GapProbe::onTick, this, nullptr);
}

GapProbe::~GapProbe() {
  g_source_remove(source_);
}

gboolean GapProbe::onTick(gpointer self) {
  auto& probe = *static_cast<GapProbe*>(self);
  const auto now = Clock::now();
  probe.gaps_.push_back(std::chrono::duration<double, std::milli>(now - probe.last_).count());
  probe.last_ = now;
  return G_SOURCE_CONTINUE;
}

void GapProbe::reset() {
  gaps_.clear();
}

double GapProbe::longest() const {
  return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
}

double GapProbe::percentile(double p) const {
  if (gaps_.empty()) return 0;
  std::vector<double> sorted = gaps_;
  std::sort(sorted.begin(), sorted.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100 * sorted.size()));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

namespace {

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

CpuMeter::CpuMeter() : cpu0_(cpuSeconds()), wall0_(Clock::now()) {}

double CpuMeter::percent() const {
  const double wall = millisecondsSince(wall0_) / 1000;
  return wall > 0 ? 100 * (cpuSeconds() - cpu0_) / wall : 0;
}

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

/// The children of `pid`, from every thread's list.
std::vector<int> childrenOf(int pid) {
  std::vector<int> children;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (!dir) return children;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::istringstream list(readFile(tasks + "/" + entry->d_name + "/children"));
    for (int child; list >> child;) children.push_back(child);
  }
  ::closedir(dir);
  return children;
}

}  // namespace

TreeMemory treeMemory() {
  TreeMemory memory;
  std::vector<int> pending{static_cast<int>(::getpid())};
  while (!pending.empty()) {
    const int pid = pending.back();
    pending.pop_back();
    const std::string base = "/proc/" + std::to_string(pid);
    std::istringstream rollup(readFile(base + "/smaps_rollup"));
    for (std::string line; std::getline(rollup, line);) {
      if (line.rfind("Pss:", 0) == 0) memory.pssMB += std::strtod(line.c_str() + 4, nullptr) / 1024;
    }
    ++memory.processes;
    if (readFile(base + "/comm").rfind("WebKitWebProces", 0) == 0) ++memory.webProcesses;
    for (int child : childrenOf(pid)) pending.push_back(child);
  }
  return memory;
}

}  // namespace zelvora::bench
