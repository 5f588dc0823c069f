#pragma once

#include "adunit/HtmlAd.h"

namespace zelvora {

/// The interstitial of an HTML ad: the creative's web view in a white frame inside the dimmed
/// container. A plain HTML ad loads its markup when shown and comes on screen once the page
/// has loaded; a preloaded MRAID ad is told its presentation data, its "default" state and
/// "ready" first, and comes on screen right after. A showing whose page does not get there in
/// time fails (`pageUnresponsive`): no showAd goes without an outcome.
class InterstitialHtml : public HtmlAd, public CloseButtonEventDelegate {
 public:
  using HtmlAd::HtmlAd;

  void render(const std::shared_ptr<platform::ViewController>& presentingViewController) override;
  void onWebViewFinishedToLoad() override;
  void onViewControllerAppeared() override;
  void onViewControllerDisappeared() override;
  void onViewControllerSizeChanged() override;
  void onViewControllerLaidOut() override;
  void onClose() override;
  /// From render until its interstitial has gone: a creative that closes itself lets go of the
  /// controller at once, while the interstitial still leaves the screen.
  bool isPresenting() const override { return interstitialVC != nullptr || onScreen; }
  void showingLost() override;

 private:
  /// A plain page that has not loaded by then is given up.
  static constexpr double kPageLoadDeadline = 15;
  /// A preloaded MRAID page answers at once; one that does not by then is held by a script
  /// that spins, and is loaded again in a web process of its own.
  static constexpr double kMraidAnswerDeadline = 5;

  /// Whether this ad can be shown now; says why not otherwise.
  bool canRender();
  /// Gives the showing up (failed to show) if `controller` is not presented `seconds` from now.
  void giveUpUnlessPresentedIn(double seconds,
                               const std::shared_ptr<InterstitialViewController>& controller);
  void setContentConstraints();
  /// Tells the page it is shown, then presents `controller` unless it was replaced meanwhile.
  void presentMraid(const std::shared_ptr<InterstitialViewController>& controller);
};

}  // namespace zelvora
