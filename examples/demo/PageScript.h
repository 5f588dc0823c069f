#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

#include "zelvora/platform/gtk/GtkMainQueue.h"

namespace demo {

/// Runs `body` as the body of an async function in a script world of the demo's own, which
/// the page's scripts cannot see, and waits for what it returns (awaited when a promise).
/// The text of a string result, "" for any other; nullopt when the script failed or did not
/// end within `seconds`, or the page runs no scripts.
std::optional<std::string> runPageScript(WebKitWebView* page, const std::string& body,
                                         zelvora::platform::gtk::GtkMainQueue& queue,
                                         double seconds);

}  // namespace demo
