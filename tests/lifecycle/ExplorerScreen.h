#pragma once

// What the explorer reads off the screen: the top screen's content and close controls, whether a
// control takes a tap where it stands, and what a web view's page went through.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "zelvora/platform/headless/TestDriver.h"
#include "zelvora/platform/media/PlayerViewController.h"
#include "zelvora/platform/media/VideoView.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/ImageView.h"
#include "zelvora/platform/ui/Label.h"
#include "zelvora/platform/ui/ScreenViews.h"
#include "zelvora/platform/ui/WebView.h"

namespace zelvora::test::explorer {

using namespace platform;

/// Whether a tap at the middle of `view` reaches it (the view or one of its subviews is the
/// topmost view there that takes touches).
inline bool takesTap(const headless::TestDriver& driver, const std::shared_ptr<View>& view) {
  const auto hit = driver.hitTest(view->frameInRoot().center());
  return hit && (hit == view || hit->isDescendant(*view));
}

/// The views of the top screen that let the user leave it: the close button, "Go Back", the
/// player's own "Done", and "Skip" once it takes taps.
inline std::vector<std::shared_ptr<View>> closeControls(const View& screen) {
  std::vector<std::shared_ptr<View>> controls;
  for (const auto& view : visibleViews(screen)) {
    if (auto button = std::dynamic_pointer_cast<Button>(view)) {
      if (button->accessibilityIdentifier == "close" ||
          button->accessibilityIdentifier == "player-done" || button->title() == "Go Back")
        controls.push_back(view);
    } else if (auto label = std::dynamic_pointer_cast<Label>(view)) {
      if (label->text == "Skip" && !label->gestureRecognizers().empty()) controls.push_back(view);
    }
  }
  return controls;
}

/// The ad's own content on the top screen: its page, image or video (a click-through's landing
/// page is not the ad's).
inline std::vector<std::shared_ptr<View>> contentViews(const View& screen) {
  std::vector<std::shared_ptr<View>> content;
  for (const auto& view : visibleViews(screen)) {
    if (view->accessibilityIdentifier == "click-through") continue;
    if (std::dynamic_pointer_cast<WebView>(view) || std::dynamic_pointer_cast<ImageView>(view) ||
        std::dynamic_pointer_cast<VideoView>(view))
      content.push_back(view);
  }
  return content;
}

inline const char* contentKind(const View& view) {
  if (dynamic_cast<const WebView*>(&view)) return "page";
  if (dynamic_cast<const VideoView*>(&view)) return "video";
  return "image";
}

inline bool inside(const Rect& inner, const Rect& outer) {
  constexpr double slack = 0.5;
  return inner.x >= outer.x - slack && inner.y >= outer.y - slack &&
         inner.x + inner.width <= outer.x + outer.width + slack &&
         inner.y + inner.height <= outer.y + outer.height + slack;
}

inline bool sameRect(const Rect& a, const Rect& b) {
  return std::fabs(a.x - b.x) < 0.5 && std::fabs(a.y - b.y) < 0.5 &&
         std::fabs(a.width - b.width) < 0.5 && std::fabs(a.height - b.height) < 0.5;
}

inline std::string describe(const Rect& rect) {
  const auto number = [](double value) {
    std::string text = std::to_string(std::round(value * 10) / 10);
    return text.substr(0, text.find('.') + 2);
  };
  return "(" + number(rect.x) + ", " + number(rect.y) + ", " + number(rect.width) + ", " +
         number(rect.height) + ")";
}

/// The last thing loaded into the page: a request's URL or a document's markup.
inline const PageRecord* lastLoad(const WebView& webView) {
  const auto& journal = webView.journal();
  for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
    if (it->kind == PageRecord::Kind::request || it->kind == PageRecord::Kind::document)
      return &*it;
  }
  return nullptr;
}

/// The page was blanked: its last load is "about:blank".
inline bool isBlank(const WebView& webView) {
  const auto* last = lastLoad(webView);
  return last && last->kind == PageRecord::Kind::request && last->text == "about:blank";
}

/// The markup of the page's first document (it names the ad), or "".
inline std::string firstDocument(const WebView& webView) {
  for (const auto& record : webView.journal()) {
    if (record.kind == PageRecord::Kind::document) return record.text;
  }
  return "";
}

inline bool isMraidPage(const WebView& webView) {
  for (const auto& record : webView.journal()) {
    if (record.kind == PageRecord::Kind::document)
      return record.baseUrl && record.baseUrl->ends_with("mraid.js");
  }
  return false;
}

/// An MRAID page got the "ready" event in the document it shows: after the document began (its
/// MRAID environment ran), never before.
inline bool gotReadyInItsDocument(const WebView& webView) {
  const auto& journal = webView.journal();
  std::size_t began = journal.size();
  for (std::size_t i = 0; i < journal.size(); ++i) {
    if (journal[i].kind == PageRecord::Kind::userScript &&
        journal[i].text.find("MRAID_ENV") != std::string::npos)
      began = i;
  }
  for (std::size_t i = began; i < journal.size(); ++i) {
    if (journal[i].kind == PageRecord::Kind::script &&
        journal[i].text.find("triggerEvent(\"ready\"") != std::string::npos)
      return true;
  }
  return false;
}

/// The player shown on `screen`, if any.
inline std::shared_ptr<Player> playerOn(const View& screen) {
  for (const auto& view : visibleViews(screen)) {
    if (auto video = std::dynamic_pointer_cast<VideoView>(view); video && video->player)
      return video->player;
  }
  return nullptr;
}

}  // namespace zelvora::test::explorer
