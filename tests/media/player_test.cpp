// The player model on the headless engine: probing real files with GStreamer, time reports
// and rate changes on the manual clock, pausing, stopping, files that never play and playback
// that fails part way.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/SdkTest.h"
#include "zelvora/platform/headless/HeadlessMedia.h"
#include "zelvora/platform/media/Player.h"

namespace zelvora::platform {
namespace {

namespace fs = std::filesystem;

/// server/assets/sample-video.webm: 320x180 VP8 at 15 frames per second and Opus, 8 s. Made
/// absolute, since a file:// URL cannot hold a relative path (__FILE__ is one under ccache).
fs::path sampleVideo() {
  return fs::weakly_canonical(fs::path(__FILE__).parent_path().parent_path().parent_path() /
                              "server" / "assets" / "sample-video.webm");
}

TEST(ProbeMedia, ReadsTheLengthAndStreamsOfARealVideo) {
  // Downloaded files keep the name of their address, which may need escaping in a URL.
  test::TemporaryFolder folder;
  const auto odd = folder.path() / "ad video 100%.webm";
  fs::copy_file(sampleVideo(), odd);
  for (const auto& url :
       {sampleVideo().string(), "file://" + sampleVideo().string(), "file://" + odd.string()}) {
    auto media = headless::probeMedia(url);
    ASSERT_TRUE(media) << url;
    EXPECT_NEAR(media->duration, 8.0, 1.0);
    EXPECT_TRUE(media->hasVideo);
    EXPECT_TRUE(media->hasAudio);
    EXPECT_EQ(media->width, 320);
    EXPECT_EQ(media->height, 180);
  }
}

/// A player with one time observer and one rate observer that record what they are told.
class PlayerTest : public test::PlatformTest {
 protected:
  PlayerTest() { headless::installMediaBackend(); }
  ~PlayerTest() override { installPlayerEngineFactory({}); }

  std::shared_ptr<Player> open(const std::string& url) {
    auto player = Player::make(url);
    timeToken = player->addPeriodicTimeObserver(1.0, [this](double t) { times.push_back(t); });
    player->addRateObserver([this, weak = std::weak_ptr(player)] {
      if (auto p = weak.lock()) rates.push_back(p->rate());
    });
    player->addFailureObserver([this](const std::string& why) { failures.push_back(why); });
    return player;
  }
  /// Moves the clock `seconds` forward, one second at a time.
  void advance(int seconds) {
    for (int i = 0; i < seconds; ++i) runLoop().advance(1.0);
  }

  Player::ObserverToken timeToken = 0;
  std::vector<double> times;
  std::vector<double> rates;
  std::vector<std::string> failures;
};

TEST_F(PlayerTest, ReportsEverySecondOfPlaybackAndStopsAtTheEnd) {
  // Playback starts off the clock's whole seconds, as after a presentation's transition; at
  // this offset, deadlines derived from the computed position would drift past the clock's
  // one-second steps.
  runLoop().advance(0.469);
  auto player = open(sampleVideo().string());
  ASSERT_TRUE(player->duration());
  const double duration = *player->duration();
  EXPECT_EQ(player->status(), PlayerItemStatus::readyToPlay);

  player->play();
  EXPECT_EQ(rates, (std::vector<double>{1}));
  EXPECT_TRUE(times.empty()) << "the first report comes in a task of its own";
  runLoop().runPending();
  EXPECT_EQ(times, (std::vector<double>{0}));
  for (int second = 1; second < static_cast<int>(duration); ++second) {
    advance(1);
    ASSERT_EQ(times.size(), second + 1u);
    EXPECT_EQ(times.back(), second);
  }
  EXPECT_EQ(rates, (std::vector<double>{1}));
  advance(2);
  EXPECT_EQ(times.back(), duration);
  EXPECT_EQ(times.size(), static_cast<std::size_t>(duration) + 1);
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  EXPECT_EQ(player->currentTime(), duration);

  // At its end the item does not play again.
  player->play();
  advance(3);
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  EXPECT_EQ(times.size(), static_cast<std::size_t>(duration) + 1);
}

TEST_F(PlayerTest, PauseStopsReportsUntilPlaybackResumes) {
  auto player = open(sampleVideo().string());
  player->play();
  runLoop().advance(2.5);
  player->pause();
  EXPECT_EQ(player->rate(), 0);
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  advance(4);
  EXPECT_EQ(times, (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(player->currentTime(), 2.5);

  player->play();
  runLoop().advance(0.5);
  EXPECT_EQ(times, (std::vector<double>{0, 1, 2, 2.5, 3}));
  EXPECT_EQ(rates, (std::vector<double>{1, 0, 1}));
}

TEST_F(PlayerTest, ReplacingTheItemWithNothingStopsForGood) {
  auto player = open(sampleVideo().string());
  player->play();
  advance(1);
  player->replaceCurrentItem(nullptr);
  EXPECT_EQ(player->currentItem(), nullptr);
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  player->play();
  advance(20);
  EXPECT_EQ(times, (std::vector<double>{0, 1}));
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
}

// The failure is told once, in a task of its own, so that an observer added right after the
// item was set hears of it.
TEST_F(PlayerTest, AFileThatCannotBeProbedNeverPlays) {
  const auto text = folder.path() / "notes.webm";
  test::writeFile(text, "not a video");
  const std::string missing = (folder.path() / "missing.webm").string();
  for (const auto& [url, why] : {std::pair{text.string(), "not a playable video or audio file"},
                                 {missing, "no such file"},
                                 {"file://" + missing, "no such file"}}) {
    failures.clear();
    auto player = open(url);
    ASSERT_NE(player->currentItem(), nullptr);
    EXPECT_EQ(player->currentItem()->url(), url);
    EXPECT_EQ(player->status(), PlayerItemStatus::failed) << url;
    EXPECT_EQ(player->error(), why);
    EXPECT_FALSE(player->duration());
    EXPECT_TRUE(failures.empty());
    player->play();
    EXPECT_EQ(player->rate(), 0);
    advance(3);
    EXPECT_EQ(failures, std::vector<std::string>{why}) << url;
  }
  EXPECT_TRUE(times.empty());
  EXPECT_TRUE(rates.empty());
}

// Part way through: playback stops where it is, the rate goes to 0, the failure is told once,
// and nothing plays or reports any more; a new item starts afresh.
TEST_F(PlayerTest, AFailureDuringPlaybackStopsItForGood) {
  auto player = open(sampleVideo().string());
  player->play();
  runLoop().advance(2.5);
  ASSERT_TRUE(driver.failPlayback(player, "decoding error"));
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  EXPECT_EQ(failures, std::vector<std::string>{"decoding error"});
  EXPECT_EQ(player->status(), PlayerItemStatus::failed);
  EXPECT_EQ(player->currentTime(), 2.5);
  EXPECT_FALSE(driver.failPlayback(player, "again"));
  player->play();
  advance(10);
  EXPECT_EQ(times, (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  EXPECT_EQ(failures.size(), 1u);

  player->replaceCurrentItem(PlayerItem::make(sampleVideo().string()));
  EXPECT_EQ(player->status(), PlayerItemStatus::readyToPlay);
  EXPECT_EQ(player->error(), "");
  player->play();
  advance(1);
  EXPECT_EQ(times.back(), 1);
  EXPECT_EQ(failures.size(), 1u);
}

TEST_F(PlayerTest, ObserversCanBeRemovedEvenFromTheirCallbacks) {
  auto player = open(sampleVideo().string());
  std::vector<double> other;
  const auto otherToken =
      player->addPeriodicTimeObserver(0.5, [&](double t) { other.push_back(t); });
  // Stops the way a player's owner does when the video should end at 3 s: pause, drop the
  // item, remove the observers (itself too) and release the player, all inside the report.
  auto owned = player;
  Player::ObserverToken stopToken = 0;
  stopToken = player->addPeriodicTimeObserver(1.0, [&](double t) {
    if (t < 3) return;
    owned->pause();
    owned->replaceCurrentItem(nullptr);
    owned->removeTimeObserver(stopToken);
    owned->removeTimeObserver(timeToken);
    owned.reset();
  });
  player->play();
  runLoop().runPending();
  advance(1);
  player->removeTimeObserver(otherToken);
  player.reset();
  advance(10);
  EXPECT_EQ(other, (std::vector<double>{0, 0.5, 1}));
  EXPECT_EQ(times, (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(rates, (std::vector<double>{1, 0}));
  EXPECT_EQ(owned, nullptr);
}

}  // namespace
}  // namespace zelvora::platform
