#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adunit/components/WebView.h"

namespace zelvora {

/// A card drawn from markup (a VAST HTML companion): a web view of a fixed size that loads the
/// markup and reports every navigation away from it, which may be the viewer's click. A click
/// taken brings the markup back; one refused is left alone, so that a page that navigates by
/// itself on every load cannot spin in a loop of reloads. A page whose web process ended is
/// loaded again, once.
class HtmlCard : public WebViewPageDelegate, public std::enable_shared_from_this<HtmlCard> {
 public:
  /// Whether the navigation to `url` was taken as the viewer's click.
  using Navigated = std::function<bool(const std::string& url)>;

  static std::shared_ptr<HtmlCard> make(const std::string& markup, double width, double height,
                                        Navigated navigated);

  const std::shared_ptr<WebView> webView;

 private:
  HtmlCard(std::shared_ptr<WebView> view, std::string markup, Navigated navigated);
  void onWebViewStartedToLoad(const std::optional<std::string>& url) override;
  void onWebViewContentGone(const platform::WebView& webView,
                            platform::WebContentTermination reason) override;

  const std::string markup_;
  Navigated navigated_;
  bool reloadedOnce_ = false;
};

}  // namespace zelvora
