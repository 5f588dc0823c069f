#include "adunit/components/HtmlCard.h"

#include <utility>

#include "adunit/rendering/Constraints.h"
#include "net/Url.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
using platform::LayoutAttribute;
using platform::WebViewConfiguration;

HtmlCard::HtmlCard(std::shared_ptr<WebView> view, std::string markup, Navigated navigated)
    : webView(std::move(view)), markup_(std::move(markup)), navigated_(std::move(navigated)) {}

std::shared_ptr<HtmlCard> HtmlCard::make(const std::string& markup, double width, double height,
                                         Navigated navigated) {
  WebViewConfiguration configuration;
  configuration.preferences.javaScriptEnabled = true;
  std::shared_ptr<HtmlCard> card(
      new HtmlCard(WebView::make(std::move(configuration)), markup, std::move(navigated)));
  auto& view = *card->webView;
  view.accessibilityIdentifier = "html-card";
  view.isOpaque = false;
  view.scrollView.bounces = false;
  view.translatesAutoresizingMaskIntoConstraints = false;
  constrainSize(card->webView, LayoutAttribute::width, width);
  constrainSize(card->webView, LayoutAttribute::height, height);
  view.setPageDelegate(card);
  view.loadMarkup(markup);
  return card;
}

void HtmlCard::onWebViewStartedToLoad(const std::optional<std::string>& url) {
  // The markup itself loads as about:blank or a file; anything else is the viewer's click.
  if (!url || isFileUrl(*url) || *url == "about:blank") return;
  if (!navigated_ || !navigated_(*url)) return;
  // The click's address opens on its own: the card comes back.
  platform::postToMainQueue([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->webView->loadMarkup(self->markup_);
  });
}

void HtmlCard::onWebViewContentGone(const platform::WebView&, platform::WebContentTermination) {
  if (std::exchange(reloadedOnce_, true)) return;
  platform::postToMainQueue([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->webView->loadMarkup(self->markup_);
  });
}

}  // namespace zelvora
