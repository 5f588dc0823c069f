#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adunit/components/WebView.h"

namespace zelvora {

/// A card drawn from markup (a VAST HTML companion): a web view of a fixed size that loads the
/// markup and reports every navigation away from it, which is the viewer's click.
class HtmlCard : public WebViewPageStartedDelegate, public std::enable_shared_from_this<HtmlCard> {
 public:
  using Navigated = std::function<void(const std::string& url)>;

  static std::shared_ptr<HtmlCard> make(const std::string& markup, double width, double height,
                                        Navigated navigated);

  const std::shared_ptr<WebView> webView;

 private:
  HtmlCard(std::shared_ptr<WebView> view, std::string markup, Navigated navigated);
  void onWebViewStartedToLoad(const std::optional<std::string>& url) override;

  const std::string markup_;
  Navigated navigated_;
};

}  // namespace zelvora
