#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adunit/components/HtmlCard.h"
#include "adunit/types/InterstitialHouseVideo.h"
#include "vast/VastChain.h"
#include "vast/VastTracking.h"
#include "zelvora/platform/ui/Application.h"

namespace zelvora {

/// The ad unit of the format "videoVast". While VAST is off (the default) it never loads and is
/// never shown, and its placement stays silent. With VAST on, its preload follows the ad's VAST
/// tag ("vastTagUrl") or reads its document ("vastXml") to a linear creative, downloads the
/// chosen media file (and the end card: an image companion, else one of markup; and the icons), and
/// plays it as a house video plays, firing the VAST trackers at their moments. An ad that cannot be
/// played reports its error code to the chain's error URLs and `noAds` to the host.
class InterstitialVast : public InterstitialHouseVideo {
 public:
  explicit InterstitialVast(const JSON& initWithData);

  void preload() override;

  void onVideoEnded() override;
  void onVideoSkipped() override;
  void onVideoProgress(double seconds) override;
  void onVideoSoundChanged(bool soundOn) override;
  void onVideoFailed(const std::string& reason) override;
  /// A tap on the end card: the companion's click trackers and address.
  void onBannerClicked() override;

 protected:
  void playerBuilt() override;
  void finishShowing() override;
  std::shared_ptr<platform::View> landingCardView() const override;
  /// A click on the video: every click tracker of the chain, then the click-through.
  void callClickBeacon() override;

 private:
  /// The target of a tap on one icon.
  struct IconTap {
    void tapped();
    std::weak_ptr<InterstitialVast> ad;
    std::size_t index = 0;
  };
  struct ShownIcon {
    vast::Icon icon;
    std::optional<std::string> path;
    std::shared_ptr<platform::View> view;
    std::shared_ptr<IconTap> tap;
    bool seen = false;
  };

  void resolved(vast::ResolvedAd ad);
  void failed(vast::VastError code, const std::string& message,
              const std::vector<std::string>& errorUrls);
  void loadCompanionAndIcons();
  /// The card after the video came on screen: the companion's view trackers.
  void endCardShown();
  /// The viewer's click on the end card, to `url` (empty: nowhere to go); whether it was taken.
  bool companionClicked(const std::string& url);
  /// One file of the ad arrived or failed.
  void fileSettled();
  void addIcons();
  void showIconsAt(double seconds);
  void openIcon(std::size_t index);
  void observeTheApplication(bool observe);

  std::shared_ptr<vast::Chain> chain_;
  std::optional<vast::ResolvedAd> ad_;
  std::optional<vast::Companion> companion_;
  std::shared_ptr<HtmlCard> htmlCard_;
  std::vector<ShownIcon> icons_;
  /// One per showing: each showing fires its trackers anew.
  std::unique_ptr<vast::Tracking> tracking_;
  std::vector<platform::Application::ObserverToken> applicationObservers_;
  bool pausedInBackground_ = false;
  bool companionClickTaken_ = false;
  int pendingFiles_ = 0;
  bool mediaFailed_ = false;
};

}  // namespace zelvora
