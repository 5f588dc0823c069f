#include "adunit/HouseVideoAd.h"

#include <filesystem>

#include "net/JsonReading.h"
#include "tools/Assets.h"
#include "tools/FileLoader.h"
#include "tools/SdkDirectories.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {

HouseVideoAd::HouseVideoAd(const JSON& initWithData) : VideoAd(initWithData) {
  videoPlayer = VideoPlayer::makeWithData(data());
  if (hasMember(data(), "landingCard"))
    landingCard = Banner::make(stringValue(member(data(), "landingCard")));
}

void HouseVideoAd::preload() {
  // The video first: the ad is ready once it is here. Its icons and card right after, before
  // the next placement's files, so they are here by the time the video ends.
  loadVideo();
  downloadAssets();
  if (landingCard) {
    FileLoader::loadFile(
        landingCard->url,
        [weak = std::weak_ptr<Banner>(landingCard)](const std::string& path) {
          if (auto card = weak.lock()) card->preloadCompletion(path);
        },
        AssetKind::image);
  }
}

void HouseVideoAd::loadVideo() {
  if (!videoPlayer->url) {
    // Told after the preload call, as every other outcome is.
    platform::postToMainQueue([weak = weak_from_this()] {
      if (auto self = weak.lock())
        self->loadFailed(ZelError::invalidAd, "the ad has no valid video address");
    });
    return;
  }
  FileLoader::loadFile(
      stringValue(member(data(), "video")),
      [weak = weak_from_this()](const std::string& path) {
        auto self = std::static_pointer_cast<HouseVideoAd>(weak.lock());
        if (!self) return;
        // Before the host hears: it may show the ad from its callback.
        self->videoPlayer->url = "file://" + path;
        self->videoPlayer->prepareText();
        self->loadSucceeded();
      },
      AssetKind::video,
      [weak = weak_from_this()](const HttpError& error) {
        if (auto self = weak.lock()) self->loadFailed(error.reason, error.localizedDescription);
      });
}

void HouseVideoAd::downloadAssets(std::function<void()> settled) {
  // Counts the icons on their way; `settled` follows the last.
  const auto pending = std::make_shared<int>(1);
  const auto settle = [pending, settled = std::move(settled)] {
    if (--*pending == 0 && settled) settled();
  };
  const auto finish = [&] { platform::postToMainQueue(settle); };
  const auto folder = sdkCachesDirectory();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    log(LogLevel::error, error.message() + ": " + folder.string());
    return finish();
  }
  const auto& base = ZelController::sharedInstance().assetBaseUrl();
  // The icons are looked up where the loader keeps their URL, so a base URL is needed.
  if (!base) return finish();
  const auto take = [&](const std::string& name, std::optional<std::string>& assetPath) {
    const std::string url = *base + name;
    const auto local = FileLoader::localPath(folder, url);
    if (std::filesystem::exists(local, error)) {
      assetPath = local.string();
      return;
    }
    ++*pending;
    FileLoader::loadZelFile(
        url,
        [&assetPath, settle](const std::string& path) {
          assetPath = path;
          settle();
        },
        AssetKind::image, [settle](const HttpError&) { settle(); });
  };
  take("ic_sound_on.png", Asset::iconSoundOnPath);
  take("ic_sound_off.png", Asset::iconSoundOffPath);
  finish();
}

}  // namespace zelvora
