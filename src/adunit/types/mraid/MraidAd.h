#pragma once

#include <string>

namespace zelvora {

/// What an MRAID creative can ask of its ad, through the script bridge and the web view.
class MraidAd {
 public:
  virtual ~MraidAd() = default;
  /// Blanks the creative and dismisses the interstitial.
  virtual void closeAd() = 0;
  /// Tracks the click and hands `uri` to the system.
  virtual void openUri(const std::string& uri) = 0;
  /// Plays `uri` in a player over the interstitial.
  virtual void playVideo(const std::string& uri) = 0;
  virtual void setViewable(bool viewable) = 0;
  /// The creative has nothing to show.
  virtual void fallback() = 0;
  virtual void setFallbackTriggered(bool triggered) = 0;
  virtual void setContainerState(const std::string& state) = 0;
  /// Holds the interstitial in `forceOrientation` ("portrait", "landscape"), or in the
  /// current orientation when `allowOrientationChange` is false, or lets it follow the device.
  virtual void setOrientationProperties(bool allowOrientationChange,
                                        const std::string& forceOrientation) = 0;
};

}  // namespace zelvora
