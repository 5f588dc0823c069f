#ifndef ZELVORA_ZELVORA_H
#define ZELVORA_ZELVORA_H

/*
 * The Zelvora SDK's C API (C99), for hosts in C and for other languages through their foreign
 * function interfaces. Beside the C++ API, over the same controller: a host uses one or the
 * other.
 *
 * Threads: call every function on the host's main thread, the one that created the platform,
 * except zelvora_version, zelvora_last_error, zelvora_set_log_level and zelvora_set_log_sink,
 * which any thread may call. The callbacks run on that main thread only, while the host pumps
 * or runs the platform. The log sink may run on any thread.
 *
 * Errors: every function that can fail returns a zelvora_status; ZELVORA_OK is success. After
 * a failure, zelvora_last_error() tells why in one line, until the thread's next call. Strings
 * handed to callbacks are valid during the call only: copy what you keep.
 *
 * ABI: the structs below are fixed for the library's major version 1; members are never added
 * to them (a later version adds functions instead), so a host built against this header keeps
 * working with every libzelvora.so.1.
 */

#include <stddef.h>
#include <stdint.h>

#include "zelvora/Export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum zelvora_status {
  ZELVORA_OK = 0,
  /* A NULL where a value is needed, or a value out of range. */
  ZELVORA_ERROR_INVALID_ARGUMENT = 1,
  /* This build has no such backend (the GTK ones without GTK). */
  ZELVORA_ERROR_UNSUPPORTED = 2,
  /* The platform could not be created: no display, or another platform is alive. */
  ZELVORA_ERROR_PLATFORM = 3,
  /* No platform is alive. */
  ZELVORA_ERROR_NO_PLATFORM = 4,
  /* Called off the main thread. */
  ZELVORA_ERROR_OFF_MAIN_THREAD = 5,
  ZELVORA_ERROR_ALREADY_INITIALIZED = 6,
  ZELVORA_ERROR_NOT_INITIALIZED = 7,
  /* No placement of that id was registered. */
  ZELVORA_ERROR_UNKNOWN_PLACEMENT = 8,
  /* The placement's ad is not ready to show (loading, disabled, or on screen). */
  ZELVORA_ERROR_NOT_READY = 9,
  /* The text does not fit the buffer; the size it needs was stored. */
  ZELVORA_ERROR_BUFFER_TOO_SMALL = 10,
  /* An unexpected failure inside the SDK. */
  ZELVORA_ERROR_INTERNAL = 11,

  /* Why initialisation failed (on_init_error). */
  ZELVORA_ERROR_NETWORK = 100,
  ZELVORA_ERROR_TLS = 101,
  ZELVORA_ERROR_TIMED_OUT = 102,
  ZELVORA_ERROR_INVALID_ANSWER = 103,
  ZELVORA_ERROR_NO_ADS = 104,

  /* Why an ad could not be shown (on_ad_failed_to_show). */
  ZELVORA_ERROR_NO_FILL = 200,
  ZELVORA_ERROR_PRESENTER_NOT_ON_SCREEN = 201,
  ZELVORA_ERROR_WINDOW_NOT_VISIBLE = 202,
  ZELVORA_ERROR_ANOTHER_AD_ON_SCREEN = 203,
  ZELVORA_ERROR_CREATIVE_CLOSED = 204,
  ZELVORA_ERROR_INTERRUPTED = 205,
  ZELVORA_ERROR_TOO_SOON = 206,
  ZELVORA_ERROR_NOT_READY_TO_SHOW = 207,
  ZELVORA_ERROR_PAGE_UNRESPONSIVE = 208,

  /* Why a placement's ad could not be loaded (the load callbacks). Passing faults are retried:
   * DOWNLOAD_FAILED, PAGE_DID_NOT_LOAD, and NETWORK, TLS, TIMED_OUT; the others move on to the
   * placement's next ad. */
  ZELVORA_ERROR_DOWNLOAD_FAILED = 300,
  ZELVORA_ERROR_FILE_REFUSED = 301,
  ZELVORA_ERROR_FILE_TOO_LARGE = 302,
  ZELVORA_ERROR_WRONG_KIND = 303,
  ZELVORA_ERROR_CREATIVE_GAVE_UP = 304,
  ZELVORA_ERROR_PAGE_DID_NOT_LOAD = 305,
  ZELVORA_ERROR_INVALID_AD = 306,
  ZELVORA_ERROR_EXPIRED = 307,
  ZELVORA_ERROR_CREATIVE_MISBEHAVED = 308,

  /* Why a VAST ad cannot be played (the no-ads reason callback): 1000 + the VAST standard's
   * error code. */
  ZELVORA_ERROR_VAST_XML_PARSE = 1100,
  ZELVORA_ERROR_VAST_SCHEMA = 1101,
  ZELVORA_ERROR_VAST_VERSION = 1102,
  ZELVORA_ERROR_VAST_WRAPPER = 1300,
  ZELVORA_ERROR_VAST_WRAPPER_TIMEOUT = 1301,
  ZELVORA_ERROR_VAST_WRAPPER_LIMIT = 1302,
  ZELVORA_ERROR_VAST_NO_AD = 1303,
  ZELVORA_ERROR_VAST_LINEAR = 1400,
  ZELVORA_ERROR_VAST_FILE_NOT_FOUND = 1401,
  ZELVORA_ERROR_VAST_MEDIA_TIMEOUT = 1402,
  ZELVORA_ERROR_VAST_NO_SUPPORTED_MEDIA = 1403,
  ZELVORA_ERROR_VAST_CANNOT_PLAY = 1405,
  ZELVORA_ERROR_VAST_UNDEFINED = 1900
} zelvora_status;

/* The keys a host hands in with zelvora_platform_handle_key. */
typedef enum zelvora_key {
  ZELVORA_KEY_ESCAPE = 0,
  ZELVORA_KEY_BACK = 1, /* a remote's Back */
  ZELVORA_KEY_TAB = 2,
  ZELVORA_KEY_BACKTAB = 3, /* Shift+Tab */
  ZELVORA_KEY_LEFT = 4,
  ZELVORA_KEY_RIGHT = 5,
  ZELVORA_KEY_UP = 6,
  ZELVORA_KEY_DOWN = 7,
  ZELVORA_KEY_ENTER = 8,
  ZELVORA_KEY_SPACE = 9
} zelvora_key;

typedef enum zelvora_log_level {
  ZELVORA_LOG_ERROR = 0,
  ZELVORA_LOG_WARNING = 1,
  ZELVORA_LOG_INFO = 2,
  ZELVORA_LOG_TRACE = 3
} zelvora_log_level;

/* The user's advertising consent. */
typedef enum zelvora_consent_state {
  ZELVORA_CONSENT_UNKNOWN = 0,
  ZELVORA_CONSENT_NOT_EEA_USER = 1,
  ZELVORA_CONSENT_PERSONALIZED_ADS = 2,
  ZELVORA_CONSENT_NON_PERSONALIZED_ADS = 3
} zelvora_consent_state;

/* The SDK's version, "major.minor.patch", as the library was built. */
ZELVORA_API const char* zelvora_version(void);
/* Why this thread's last failing call failed; "" when it succeeded. */
ZELVORA_API const char* zelvora_last_error(void);

/* ---- The platform: where the SDK's screens show, and the main loop it runs on. ---- */

typedef struct zelvora_platform zelvora_platform;

/* What the host tells the platform; NULL fields (or a NULL pointer) keep their defaults. */
typedef struct zelvora_environment {
  /* The application's identifier, e.g. "com.example.game"; names its folders. */
  const char* bundle_identifier;
  /* Where the consent record, cached files and temporary files go. */
  const char* config_directory;
  const char* caches_directory;
  const char* temporary_directory;
  /* A UUID; the zero UUID by default. */
  const char* advertising_identifier;
} zelvora_environment;

/* WebKit's sandbox around creatives (see WebSandbox in the C++ API). */
typedef enum zelvora_web_sandbox {
  /* Sandboxed where it can start; elsewhere unsandboxed, with one console line. */
  ZELVORA_WEB_SANDBOX_PREFERRED = 0,
  /* No web content where the sandbox cannot start (with one console line). */
  ZELVORA_WEB_SANDBOX_REQUIRED = 1,
  ZELVORA_WEB_SANDBOX_OFF = 2
} zelvora_web_sandbox;

/* The limits on creatives' web content for the platforms created after the call (see
 * WebContentLimits in the C++ API): the web process's memory in MiB (1024 by default, 0 for the
 * engine's own limit), the seconds a web process may leave a question unanswered before it is
 * ended (5 by default; <= 0 keeps it), and the sandbox. Call it before creating the platform,
 * from the thread that creates it. */
ZELVORA_API zelvora_status zelvora_set_web_content_limits(unsigned memory_mib,
                                                          double unresponsive_seconds,
                                                          zelvora_web_sandbox sandbox);

/* No display: nothing is drawn for a person to see. For tests and tools. */
ZELVORA_API zelvora_status zelvora_platform_create_headless(const zelvora_environment* environment,
                                                            zelvora_platform** platform);
/* The desktop backend in a window of its own, opened when an ad is first shown, 1280 by 720. */
ZELVORA_API zelvora_status zelvora_platform_create_gtk_window(
    const zelvora_environment* environment, zelvora_platform** platform);
/* The same with a window of `width` by `height` (wider than tall: landscape); values <= 0 keep
 * the default. */
ZELVORA_API zelvora_status zelvora_platform_create_gtk_window_sized(
    const zelvora_environment* environment, int width, int height, zelvora_platform** platform);
/* Inside the host's GtkWindow or GtkOverlay (a GtkWidget*), over its content while an ad
 * shows. */
ZELVORA_API zelvora_status zelvora_platform_create_gtk_inside(
    const zelvora_environment* environment, void* gtk_widget, zelvora_platform** platform);
/* Over a native X11 window of the host's (SDL2, GLFW and Qt give its id), covering it while an
 * ad shows. */
ZELVORA_API zelvora_status zelvora_platform_create_gtk_over(const zelvora_environment* environment,
                                                            unsigned long x11_window,
                                                            zelvora_platform** platform);
/* Ends the platform; NULL is ignored. The SDK's calls then fail until a new one exists. */
ZELVORA_API void zelvora_platform_destroy(zelvora_platform* platform);

/* Runs what is due now without waiting, for a host with a loop of its own (once a frame).
 * `ran` (may be NULL) receives how many tasks ran. */
ZELVORA_API zelvora_status zelvora_platform_pump(zelvora_platform* platform, size_t* ran);
/* A key the host's own loop received, handed in as pump is (a host whose window has the
 * keyboard, such as one the ad lies over): while an ad is up the SDK takes every key and
 * `taken` (may be NULL) receives 1, and the host must not act on it; otherwise 0. */
ZELVORA_API zelvora_status zelvora_platform_handle_key(zelvora_platform* platform, zelvora_key key,
                                                       int* taken);
/* Runs the main loop for `seconds` of real time, or until zelvora_platform_quit. */
ZELVORA_API zelvora_status zelvora_platform_run_for(zelvora_platform* platform, double seconds);
/* Runs the main loop until zelvora_platform_quit. */
ZELVORA_API zelvora_status zelvora_platform_run(zelvora_platform* platform);
/* Ends zelvora_platform_run or zelvora_platform_run_for; any thread may call it. */
ZELVORA_API zelvora_status zelvora_platform_quit(zelvora_platform* platform);

/* ---- The SDK. ---- */

/* The ad server: `url` and `ca_file` (PEM) NULL or "" keep their defaults ($ZELVORA_SERVER_URL,
 * then the SDK's own server; $ZELVORA_CA_FILE, then the system's store); `timeout_seconds` <= 0
 * keeps 60. Call before zelvora_initialize. */
ZELVORA_API zelvora_status zelvora_set_server(const char* url, const char* ca_file,
                                              double timeout_seconds);

/* The host's callbacks; a NULL member is skipped. Each gets the `user` pointer given with
 * them. */
typedef struct zelvora_callbacks {
  /* Every initialisation attempt ends here, with the ids of the registered placements. */
  void (*on_init)(const char* const* placement_ids, size_t count, void* user);
  /* Before on_init, when initialisation failed: why, and a message. */
  void (*on_init_error)(zelvora_status reason, const char* message, void* user);
  void (*on_no_ads)(const char* placement_id, void* user);
  void (*on_ad_ready)(const char* placement_id, void* user);
  void (*on_ad_shown)(const char* placement_id, void* user);
  void (*on_ad_failed_to_show)(const char* placement_id, zelvora_status reason, const char* message,
                               void* user);
  void (*on_ad_close)(const char* placement_id, void* user);
  void (*on_ad_click)(const char* placement_id, void* user);
} zelvora_callbacks;

/* Copies `callbacks` (NULL removes them). */
ZELVORA_API zelvora_status zelvora_set_callbacks(const zelvora_callbacks* callbacks, void* user);

/* Called right after on_no_ads for an ad that could not be made ready (a VAST ad that cannot be
 * played), with why; not for the answer's placements without ads. Needs callbacks set. NULL
 * removes it. */
typedef void (*zelvora_no_ads_reason_callback)(const char* placement_id, zelvora_status reason,
                                               const char* message, void* user);
ZELVORA_API zelvora_status
zelvora_set_no_ads_reason_callback(zelvora_no_ads_reason_callback callback, void* user);

/* A game's pause and resume: `will_present` right before an ad's first screen is presented,
 * ahead of on_ad_shown; `did_dismiss` once every screen of that showing is gone (landing card and
 * click-through page included), after its on_ad_close. One of each per showing, in that order; a
 * zelvora_show_ad refused before anything is presented gets neither. Needs callbacks set; NULLs
 * remove them. */
typedef void (*zelvora_placement_callback)(const char* placement_id, void* user);
ZELVORA_API zelvora_status zelvora_set_ad_screen_callbacks(zelvora_placement_callback will_present,
                                                           zelvora_placement_callback did_dismiss,
                                                           void* user);

/* Loading: `failed_to_load` after each failed attempt to load a placement's ad (or its expiry),
 * with why (ZELVORA_ERROR_DOWNLOAD_FAILED and the other 300s, a VAST reason); the SDK retries
 * passing faults after a growing pause and moves on to the placement's next ad after the
 * others. `ready_again` after on_ad_ready, each time zelvora_is_ready turns 1 again (a showing
 * ended, a retry or expiry reloaded it, the pause between ads passed). Needs callbacks set;
 * NULLs remove them. */
ZELVORA_API zelvora_status zelvora_set_load_callbacks(zelvora_no_ads_reason_callback failed_to_load,
                                                      zelvora_placement_callback ready_again,
                                                      void* user);

/* VAST video for "videoVast" ads: off by default (such ads then never become ready). Values
 * <= 0 keep their defaults: 5 wrappers at most, 5 seconds for each VAST document, media files
 * up to 8000 kbit/s preferred. Call before zelvora_initialize. */
ZELVORA_API zelvora_status zelvora_set_vast(int enabled, int max_wrapper_depth,
                                            double request_timeout_seconds, int max_bitrate_kbps);

/* Retries, expiry, pacing and test mode (see AdSettings in the C++ API). Values < 0 keep their
 * defaults: a failed load retried after 2 s doubling to 64 s, ads that do not expire (0), no
 * pacing (0). `test_mode` 1 marks ads "Test ad" and keeps every tracking request on the device. */
ZELVORA_API zelvora_status zelvora_set_ad_settings(double retry_initial_seconds,
                                                   double retry_max_seconds,
                                                   double ad_time_to_live_seconds,
                                                   double minimum_seconds_between_ads,
                                                   int test_mode);

/* The memory, in MiB, decoded banner pictures not on screen may take (see
 * AdSettings::decodedImageBudgetMiB): 64 by default, 0 for no budget, < 0 keeps the default.
 * zelvora_set_ad_settings leaves it as it is. */
ZELVORA_API zelvora_status zelvora_set_decoded_image_budget(double mebibytes);

/* Builds now what the first web ad would build while it preloads (ZelController::warmUp): call
 * it behind a loading screen, before zelvora_initialize. Needs a platform. */
ZELVORA_API zelvora_status zelvora_warm_up(void);

/* Sends the request for the app's placements; the outcome arrives through the callbacks,
 * always ending with on_init. Needs a platform. */
ZELVORA_API zelvora_status zelvora_initialize(const char* app_id);
/* `ready` receives 1 when zelvora_show_ad would show the placement's ad now, else 0. */
ZELVORA_API zelvora_status zelvora_is_ready(const char* placement_id, int* ready);
/* Shows the placement's ad over the platform's screen. ZELVORA_OK means it is on its way: it
 * then ends in on_ad_shown or on_ad_failed_to_show. */
ZELVORA_API zelvora_status zelvora_show_ad(zelvora_platform* platform, const char* placement_id);

ZELVORA_API zelvora_status zelvora_get_consent_state(zelvora_consent_state* state);
/* Records the user's decision; `obtained_timestamp_sec` in seconds since 1970. */
ZELVORA_API zelvora_status zelvora_set_consent(zelvora_consent_state state, const char* wording,
                                               int64_t obtained_timestamp_sec);
/* The consent record as compact JSON text, NUL-terminated, into `buffer` of `capacity` bytes.
 * `needed` (may be NULL) receives the size it takes, NUL included; a buffer too small gets
 * ZELVORA_ERROR_BUFFER_TOO_SMALL and is left untouched (pass NULL and 0 to ask the size). */
ZELVORA_API zelvora_status zelvora_get_consent_json(char* buffer, size_t capacity, size_t* needed);
/* The consent strings of the industry's frameworks, as the host's consent-management platform
 * gives them: the IAB TCF 2.2 TC string, the GPP string with the ids of its applicable sections
 * (`gpp_section_ids` may be NULL when `gpp_section_count` is 0) and the US privacy string
 * ("1YNN"). NULL or "" is not set; each call replaces all four. Kept with the consent record,
 * sent with every request and shown by zelvora_get_consent_json (see ConsentStrings in the C++
 * API). Malformed values get ZELVORA_ERROR_INVALID_ARGUMENT and the former strings stay. */
ZELVORA_API zelvora_status zelvora_set_consent_strings(const char* tcf, const char* gpp,
                                                       const int* gpp_section_ids,
                                                       size_t gpp_section_count,
                                                       const char* us_privacy);

/* ---- Console lines. ---- */

/* Gets each line with its level, without its line break; any thread, several at once. Lines
 * the sink itself logs go to standard output. */
typedef void (*zelvora_log_sink)(zelvora_log_level level, const char* line, void* user);
/* NULL restores standard output. Once this returns, the previous sink is no longer running. */
ZELVORA_API zelvora_status zelvora_set_log_sink(zelvora_log_sink sink, void* user);
/* Lines less important than `level` are dropped: ZELVORA_LOG_INFO silences the trace. */
ZELVORA_API zelvora_status zelvora_set_log_level(zelvora_log_level level);

#ifdef __cplusplus
}
#endif

#endif
