// zelvora-gtk-host [--placement ID] APP_ID SERVER_URL: a GTK application with a window of its
// own, a little game whose "next level" button shows an interstitial between levels inside that
// window: the ad of placement ID, else of the first placement that became ready. The SDK shares
// the application's main loop and draws over the window's content only while an ad is up; the
// game pauses while the ad's screens are up. Every event is one line on standard output, for
// people and for tests.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace {

void say(const std::string& line) {
  std::cout << "[gtk-host] " << line << std::endl;
}

/// Remembers the wanted placement once it is ready (any placement when none is wanted), and
/// pauses the game while an ad's screens are up.
class Delegate : public zelvora::ZelExtendedEventDelegate {
 public:
  void onInit(const std::vector<std::string>& ids) override {
    say("onInit");
    if (wanted && std::find(ids.begin(), ids.end(), *wanted) == ids.end()) {
      std::string known;
      for (const auto& id : ids) known += " " + id;
      say("no placement \"" + *wanted + "\" on the server; it has:" + known);
    }
  }
  void onInitError(const std::string& message) override { say("onInitError " + message); }
  void onNoAds(const std::string& id) override { say("onNoAds " + id); }
  void onAdReady(const std::string& id) override {
    say("onAdReady " + id);
    if (!ready && (!wanted || *wanted == id)) ready = id;
  }
  void onAdShown(const std::string& id) override { say("onAdShown " + id); }
  void onAdFailedToShow(const std::string& id) override { say("onAdFailedToShow " + id); }
  void onAdClose(const std::string& id) override { say("onAdClose " + id); }
  void onAdClick(const std::string& id) override { say("onAdClick " + id); }
  void onAdWillPresentScreen(const std::string& id) override {
    say("onAdWillPresentScreen " + id + ": the game pauses");
    paused = true;
  }
  void onAdDidDismissScreen(const std::string& id) override {
    say("onAdDidDismissScreen " + id + ": the game resumes");
    paused = false;
  }

  std::optional<std::string> wanted;
  std::optional<std::string> ready;
  bool paused = false;
};

struct Game {
  std::string appId, serverUrl;
  int level = 1;
  GtkWidget* label = nullptr;
  GtkWidget* button = nullptr;
  std::unique_ptr<zelvora::platform::gtk::GtkPlatform> platform;
  std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

/// The game's scene: a green field with a blue block that moves one step per level.
gboolean drawScene(GtkWidget* area, cairo_t* cr, gpointer data) {
  const auto& game = *static_cast<Game*>(data);
  cairo_set_source_rgb(cr, 0, 1, 0);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 1);
  const int width = gtk_widget_get_allocated_width(area);
  cairo_rectangle(cr, 20 + (game.level * 40) % std::max(1, width - 60), 40, 40, 40);
  cairo_fill(cr);
  return TRUE;
}

void nextLevel(GtkButton*, gpointer data) {
  auto& game = *static_cast<Game*>(data);
  if (game.delegate->paused) return;
  ++game.level;
  say("level " + std::to_string(game.level));
  gtk_label_set_text(GTK_LABEL(game.label), ("Level " + std::to_string(game.level)).c_str());
  gtk_widget_queue_draw(gtk_widget_get_toplevel(game.label));
  // Between levels: the interstitial, inside this window.
  if (game.delegate->ready)
    zelvora::ZelController::sharedInstance().showAd(game.platform->rootViewController(),
                                                    *game.delegate->ready);
}

/// Tells where the button is in the window (its allocation is in the window's coordinates),
/// for tests that click it.
void reportButton(GtkWidget*, GdkRectangle* area, gpointer) {
  say("button " + std::to_string(area->x) + " " + std::to_string(area->y) + " " +
      std::to_string(area->width) + " " + std::to_string(area->height));
}

void activate(GtkApplication* application, gpointer data) {
  auto& game = *static_cast<Game*>(data);
  GtkWidget* window = gtk_application_window_new(application);
  gtk_window_set_title(GTK_WINDOW(window), "Zelvora GTK host");
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 400);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* scene = gtk_drawing_area_new();
  gtk_widget_set_vexpand(scene, TRUE);
  g_signal_connect(scene, "draw", G_CALLBACK(drawScene), &game);
  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  game.label = gtk_label_new("Level 1");
  game.button = gtk_button_new_with_label("next level");
  g_signal_connect(game.button, "clicked", G_CALLBACK(nextLevel), &game);
  g_signal_connect(game.button, "size-allocate", G_CALLBACK(reportButton), nullptr);
  gtk_box_pack_start(GTK_BOX(bar), game.label, FALSE, FALSE, 8);
  gtk_box_pack_end(GTK_BOX(bar), game.button, FALSE, FALSE, 8);
  gtk_box_pack_start(GTK_BOX(box), scene, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 8);
  gtk_container_add(GTK_CONTAINER(window), box);

  // The SDK in this window, on this application's main loop.
  zelvora::platform::HostEnvironment environment;
  environment.bundleIdentifier = "com.example.zelvora-gtk-host";
  game.platform = std::make_unique<zelvora::platform::gtk::GtkPlatform>(
      environment, zelvora::platform::gtk::UrlMode::open,
      zelvora::platform::gtk::Hosting::inside(window));
  auto& sdk = zelvora::ZelController::sharedInstance();
  zelvora::ServerConfiguration server;  // empty fields keep their defaults
  server.url = game.serverUrl;
  server.timeoutSeconds = 20;
  sdk.setServerConfiguration(server);
  sdk.setEventDelegate(game.delegate);
  sdk.initialize(game.appId);
  gtk_widget_show_all(window);
}

void shutdown(GApplication*, gpointer data) {
  // Before GTK's windows go: the platform takes its layer out of the window.
  static_cast<Game*>(data)->platform.reset();
}

}  // namespace

int main(int argc, char** argv) {
  Game game;
  if (argc == 5 && std::string(argv[1]) == "--placement") {
    game.delegate->wanted = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc != 3) {
    std::cerr << "usage: zelvora-gtk-host [--placement ID] APP_ID SERVER_URL\n";
    return 2;
  }
  game.appId = argv[1];
  game.serverUrl = argv[2];
  GtkApplication* application =
      gtk_application_new("com.example.ZelvoraGtkHost", G_APPLICATION_NON_UNIQUE);
  g_signal_connect(application, "activate", G_CALLBACK(activate), &game);
  g_signal_connect(application, "shutdown", G_CALLBACK(shutdown), &game);
  // Asked to end (a test, the session): the application ends as if its window were closed.
  g_unix_signal_add(
      SIGTERM,
      [](gpointer app) {
        g_application_quit(G_APPLICATION(app));
        return G_SOURCE_REMOVE;
      },
      application);
  char* programOnly[] = {argv[0], nullptr};
  const int status = g_application_run(G_APPLICATION(application), 1, programOnly);
  g_object_unref(application);
  return status;
}
