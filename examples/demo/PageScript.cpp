#include "PageScript.h"

#include <memory>

namespace demo {
namespace {

constexpr const char* kWorld = "zelvora-demo-user";

struct Evaluation {
  bool done = false;
  std::optional<std::string> text;
};

void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
  // Owned here: the caller may have stopped waiting.
  std::unique_ptr<std::shared_ptr<Evaluation>> evaluation(
      static_cast<std::shared_ptr<Evaluation>*>(data));
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                          result, &error);
  if (value) {
    (*evaluation)->text.emplace();
    if (jsc_value_is_string(value)) {
      char* text = jsc_value_to_string(value);
      (*evaluation)->text = text;
      g_free(text);
    }
    g_object_unref(value);
  }
  g_clear_error(&error);
  (*evaluation)->done = true;
}

}  // namespace

std::optional<std::string> runPageScript(WebKitWebView* page, const std::string& body,
                                         zelvora::platform::gtk::GtkMainQueue& queue,
                                         double seconds) {
  if (!webkit_settings_get_enable_javascript(webkit_web_view_get_settings(page)))
    return std::nullopt;
  auto evaluation = std::make_shared<Evaluation>();
  webkit_web_view_call_async_javascript_function(
      page, body.c_str(), static_cast<gssize>(body.size()), nullptr, kWorld, nullptr, nullptr,
      &onEvaluated, new std::shared_ptr<Evaluation>(evaluation));
  if (!queue.runUntil([&] { return evaluation->done; }, seconds)) return std::nullopt;
  return evaluation->text;
}

}  // namespace demo
