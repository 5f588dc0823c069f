// The server's answer to getPlacements, as the controller handles it: the placements and ads of
// every format it holds are registered and preloaded (every download fails at once, off the
// machine), then each placement that became ready is shown and closed.
#include "FuzzWorld.h"
#include "net/JsonReading.h"
#include "util/TestingReset.h"
#include "zelvora/ZelController.h"

using namespace zelvora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::refuseNetwork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::World world;
  world.platform().webEngine().autoLoad = true;
  // Read as the HTTP client reads an answer: too deep, or not JSON, is a failed request.
  const std::string body = fuzz::text(data, size);
  JSON answer =
      nestingWithin(body, 512) ? JSON::parse(body, nullptr, false) : JSON(JSON::value_t::discarded);
  if (answer.is_discarded())
    internal::handleAnswer(std::nullopt, "The answer is not valid JSON");
  else
    internal::handleAnswer(std::move(answer), std::nullopt);
  world.turn(5, 0.1);

  auto& sdk = ZelController::sharedInstance();
  const auto ready = world.delegate->ready;
  for (const auto& id : ready) {
    sdk.showAd(world.platform().rootViewController(), id);
    world.turn(10, 0.1);
    if (auto close = world.driver().findById("close")) world.driver().tap(close);
    world.turn(10, 0.1);
  }
  return 0;
}
