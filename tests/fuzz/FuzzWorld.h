#pragma once

// What the fuzz targets share: a fresh SDK world per input on the headless platform's manual
// clock, with no way off the machine, and media that plays without decoding anything.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "zelvora/ZelEventDeclaration.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"

namespace zelvora::fuzz {

namespace fs = std::filesystem;

/// Aborts with `what` when `condition` is false: the fuzzer reports it as a crash.
void check(bool condition, const char* what);

/// The input as text.
inline std::string text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// The process's folder for the worlds' files, removed at exit: on a memory file system when
/// there is one, since the SDK flushes every preferences file it writes.
const fs::path& scratchFolder();

/// Every HTTP(S) transfer of the process fails at once and nothing leaves the machine: they go
/// to a proxy on a loopback port that is bound but never listens. Addresses on 127.0.0.1 are
/// still reached directly, so a target's own loopback server answers. Call before the first
/// transfer.
void refuseNetwork();

/// Records which placements became ready.
class ReadyDelegate : public ZelEventDelegate {
 public:
  void onAdReady(const std::string& id) override { ready.insert(id); }

  std::set<std::string> ready;
};

/// How a world's players play.
enum class Media {
  /// Every item fails at once, as a file that is not media does: no probing, no network.
  failing,
  /// Every item plays for `World::mediaSeconds` on the main queue's clock.
  clock,
};

/// One SDK world: the headless platform on a manual clock with its folders in a new folder of
/// the scratch folder, the SDK's process-wide state reset, console lines dropped, and a
/// delegate. Destroying it resets the SDK again, ends the platform and removes the folder.
class World {
 public:
  static constexpr double mediaSeconds = 12;

  explicit World(Media media = Media::failing);
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  platform::headless::HeadlessPlatform& platform() { return *platform_; }
  platform::headless::RunLoop& runLoop() { return platform_->runLoop(); }
  platform::headless::TestDriver& driver() { return *driver_; }
  /// Runs what is due `turns` times, moving the clock by `step` seconds after each.
  void turn(int turns, double step);

  std::shared_ptr<ReadyDelegate> delegate = std::make_shared<ReadyDelegate>();

 private:
  fs::path folder_;
  std::unique_ptr<platform::headless::HeadlessPlatform> platform_;
  std::unique_ptr<platform::headless::TestDriver> driver_;
};

}  // namespace zelvora::fuzz
