/* zelvora-c-host [--placement ID] APP_ID [SERVER_URL]: a host in C99 over the SDK's C API. It
 * creates the headless platform (ZELVORA_C_HOST_GTK=1 in the environment: the desktop backend
 * in a window of its own), initialises the SDK, shows the ad of placement ID (else the first
 * that becomes ready) once it is ready, prints the consent record, and exits 0 once the ad was
 * on screen. A placement the server does not have ends it at once, with the ones it has. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zelvora/zelvora.h"

typedef struct host_state {
  const char* wanted; /* NULL: any placement */
  int wanted_unknown;
  int initialised;
  int failed;
  int shown;
  int has_ready;
  char ready[256];
} host_state;

static void on_init(const char* const* ids, size_t count, void* user) {
  host_state* state = (host_state*)user;
  size_t i;
  printf("[c-host] on_init [");
  for (i = 0; i < count; ++i) printf("%s%s", i ? ", " : "", ids[i]);
  printf("]\n");
  if (state->wanted != NULL) {
    state->wanted_unknown = 1;
    for (i = 0; i < count; ++i) {
      if (strcmp(ids[i], state->wanted) == 0) state->wanted_unknown = 0;
    }
  }
  state->initialised = 1;
}

static void on_init_error(zelvora_status reason, const char* message, void* user) {
  (void)user;
  printf("[c-host] on_init_error %d %s\n", (int)reason, message);
}

static void on_ad_ready(const char* id, void* user) {
  host_state* state = (host_state*)user;
  printf("[c-host] on_ad_ready %s\n", id);
  /* The strings live during the call only: keep a copy. */
  if (!state->has_ready && (state->wanted == NULL || strcmp(state->wanted, id) == 0)) {
    strncpy(state->ready, id, sizeof state->ready - 1);
    state->ready[sizeof state->ready - 1] = '\0';
    state->has_ready = 1;
  }
}

static void on_ad_shown(const char* id, void* user) {
  printf("[c-host] on_ad_shown %s\n", id);
  ((host_state*)user)->shown = 1;
}

static void on_ad_failed_to_show(const char* id, zelvora_status reason, const char* message,
                                 void* user) {
  printf("[c-host] on_ad_failed_to_show %s %d %s\n", id, (int)reason, message);
  ((host_state*)user)->failed = 1;
}

static void on_placement(const char* event, const char* id) {
  printf("[c-host] %s %s\n", event, id);
}
static void on_no_ads(const char* id, void* user) {
  (void)user;
  on_placement("on_no_ads", id);
}
static void on_ad_close(const char* id, void* user) {
  (void)user;
  on_placement("on_ad_close", id);
}
static void on_ad_click(const char* id, void* user) {
  (void)user;
  on_placement("on_ad_click", id);
}

/* A game stops its loop and its sound while an ad's screens are up. */
static void on_will_present_screen(const char* id, void* user) {
  (void)user;
  printf("[c-host] on_ad_will_present_screen %s: the game pauses\n", id);
}
static void on_did_dismiss_screen(const char* id, void* user) {
  (void)user;
  printf("[c-host] on_ad_did_dismiss_screen %s: the game resumes\n", id);
}

static int check(zelvora_status status, const char* what) {
  if (status == ZELVORA_OK) return 1;
  fprintf(stderr, "[c-host] %s failed (%d): %s\n", what, (int)status, zelvora_last_error());
  return 0;
}

/* Turns the main loop in slices until *flag is set or `seconds` pass. */
static int wait_for(zelvora_platform* platform, const int* flag, double seconds) {
  double waited;
  for (waited = 0; !*flag && waited < seconds; waited += 0.05) {
    if (!check(zelvora_platform_run_for(platform, 0.05), "zelvora_platform_run_for")) return 0;
  }
  return *flag;
}

int main(int argc, char** argv) {
  host_state state;
  zelvora_environment environment;
  zelvora_callbacks callbacks;
  zelvora_platform* platform = NULL;
  const char* gtk = getenv("ZELVORA_C_HOST_GTK");
  char* consent = NULL;
  size_t needed = 0;
  int ready = 0;
  int result = 1;

  memset(&state, 0, sizeof state);
  if (argc > 2 && strcmp(argv[1], "--placement") == 0) {
    state.wanted = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: zelvora-c-host [--placement ID] APP_ID [SERVER_URL]\n");
    return 2;
  }
  memset(&environment, 0, sizeof environment);
  environment.bundle_identifier = "com.example.zelvora-c-host";
  memset(&callbacks, 0, sizeof callbacks);
  callbacks.on_init = on_init;
  callbacks.on_init_error = on_init_error;
  callbacks.on_no_ads = on_no_ads;
  callbacks.on_ad_ready = on_ad_ready;
  callbacks.on_ad_shown = on_ad_shown;
  callbacks.on_ad_failed_to_show = on_ad_failed_to_show;
  callbacks.on_ad_close = on_ad_close;
  callbacks.on_ad_click = on_ad_click;

  printf("[c-host] SDK %s\n", zelvora_version());
  if (gtk != NULL && strcmp(gtk, "1") == 0) {
    if (!check(zelvora_platform_create_gtk_window(&environment, &platform), "create")) return 1;
  } else if (!check(zelvora_platform_create_headless(&environment, &platform), "create")) {
    return 1;
  }
  zelvora_set_log_level(ZELVORA_LOG_INFO); /* no event trace: the callbacks print the events */
  if (!check(zelvora_set_server(argc == 3 ? argv[2] : NULL, NULL, 30), "zelvora_set_server") ||
      !check(zelvora_set_callbacks(&callbacks, &state), "zelvora_set_callbacks") ||
      !check(zelvora_set_ad_screen_callbacks(on_will_present_screen, on_did_dismiss_screen, NULL),
             "zelvora_set_ad_screen_callbacks") ||
      !check(zelvora_initialize(argv[1]), "zelvora_initialize")) {
    goto done;
  }
  if (!wait_for(platform, &state.initialised, 30)) {
    fprintf(stderr, "[c-host] the SDK did not initialise\n");
    goto done;
  }
  if (state.wanted_unknown) {
    fprintf(stderr, "[c-host] the server has no placement \"%s\" (see on_init for those it has)\n",
            state.wanted);
    goto done;
  }
  if (!wait_for(platform, &state.has_ready, 30)) {
    fprintf(stderr, "[c-host] no ad became ready\n");
    goto done;
  }
  if (!check(zelvora_is_ready(state.ready, &ready), "zelvora_is_ready")) goto done;
  printf("[c-host] %s is ready: %d\n", state.ready, ready);
  if (!check(zelvora_show_ad(platform, state.ready), "zelvora_show_ad")) goto done;
  wait_for(platform, &state.shown, 10);

  /* The consent record: ask its size, then take it. */
  if (!check(
          zelvora_set_consent(ZELVORA_CONSENT_NOT_EEA_USER, "Ads keep this game free.", 1700000000),
          "zelvora_set_consent")) {
    goto done;
  }
  if (zelvora_get_consent_json(NULL, 0, &needed) != ZELVORA_ERROR_BUFFER_TOO_SMALL) goto done;
  consent = (char*)malloc(needed);
  if (consent == NULL ||
      !check(zelvora_get_consent_json(consent, needed, NULL), "zelvora_get_consent_json")) {
    goto done;
  }
  printf("[c-host] consent %s\n", consent);
  result = state.shown ? 0 : 1;

done:
  free(consent);
  zelvora_set_ad_screen_callbacks(NULL, NULL, NULL);
  zelvora_set_callbacks(NULL, NULL);
  zelvora_platform_destroy(platform);
  return result;
}
