// A house video's "duration" and "skippableIn" (the input is the JSON text of the ad's data),
// as the video player reads them and counts down while a 12-second video plays: the video ends
// once its announced duration is reached, and "Skip" comes once the wait is over.
#include "FuzzWorld.h"
#include "adunit/components/VideoPlayer.h"
#include "adunit/rendering/ViewControllers/VideoPlayerViewController.h"

using namespace zelvora;

namespace {
struct Events : VideoPlayerEventsDelegate {
  void onVideoSkipped() override {}
  void onRedirectClicked() override {}
  void onVideoEnded() override { ended = true; }
  bool ended = false;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  JSON data = JSON::parse(fuzz::text(bytes, size), nullptr, false);
  if (!data.is_object()) return 0;
  data["video"] = "clip.webm";  // any item plays for 12 s on this world's media

  fuzz::World world(fuzz::Media::clock);
  const auto player = VideoPlayer::makeWithData(data);
  const auto events = std::make_shared<Events>();
  player->delegate = events;
  world.platform().rootViewController()->present(player->initPlayerController(), false, nullptr);
  world.turn(1, 0);
  player->player->play();
  world.turn(static_cast<int>(fuzz::World::mediaSeconds) + 2, 1);

  if (player->duration <= fuzz::World::mediaSeconds)
    fuzz::check(events->ended, "the video ends at its announced duration");
  if (player->skipInTime <= std::min<std::int64_t>(player->duration, fuzz::World::mediaSeconds))
    fuzz::check(player->isSkippable, "Skip comes once the wait is over");
  return 0;
}
