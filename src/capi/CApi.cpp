// The C API: each entry point checks its arguments and its thread, calls the C++ API, and
// turns every failure into a status with this thread's last error message. No exception
// leaves a function here.

#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "ControllerAccess.h"
#include "capi/CApiPlatforms.h"
#include "capi/CallbackBridge.h"
#include "consent/ConsentStringsCheck.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/Backend.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/zelvora.h"

using namespace zelvora;
using capi::createPlatform;
using capi::environmentFrom;
using capi::fail;
namespace zp = zelvora::platform;

namespace {

static_assert(ZELVORA_ERROR_NETWORK == static_cast<int>(ZelError::network) &&
              ZELVORA_ERROR_NO_ADS == static_cast<int>(ZelError::noAds) &&
              ZELVORA_ERROR_NO_FILL == static_cast<int>(ZelError::noFill) &&
              ZELVORA_ERROR_INTERRUPTED == static_cast<int>(ZelError::interrupted) &&
              ZELVORA_ERROR_NOT_READY_TO_SHOW == static_cast<int>(ZelError::notReady) &&
              ZELVORA_ERROR_DOWNLOAD_FAILED == static_cast<int>(ZelError::downloadFailed) &&
              ZELVORA_ERROR_PAGE_UNRESPONSIVE == static_cast<int>(ZelError::pageUnresponsive) &&
              ZELVORA_ERROR_CREATIVE_MISBEHAVED == static_cast<int>(ZelError::creativeMisbehaved) &&
              ZELVORA_ERROR_VAST_XML_PARSE == static_cast<int>(ZelError::vastXmlParse) &&
              ZELVORA_ERROR_VAST_NO_AD == static_cast<int>(ZelError::vastNoAd) &&
              ZELVORA_ERROR_VAST_CANNOT_PLAY == static_cast<int>(ZelError::vastCannotPlay) &&
              ZELVORA_ERROR_VAST_UNDEFINED == static_cast<int>(ZelError::vastUndefined));
static_assert(ZELVORA_LOG_ERROR == static_cast<int>(LogLevel::error) &&
              ZELVORA_LOG_TRACE == static_cast<int>(LogLevel::trace));
static_assert(ZELVORA_CONSENT_NON_PERSONALIZED_ADS ==
              static_cast<int>(ConsentState::consentNonPersonalizedAds));

thread_local std::string lastError;

// The platform alive, if one was made here: the host's handle must name it.
zelvora_platform* current = nullptr;
// The host's callbacks, kept alive here: the controller holds its delegate weakly.
std::shared_ptr<capi::CallbackBridge> bridge;

zelvora_status succeed() {
  lastError.clear();
  return ZELVORA_OK;
}

/// Runs `body`, turning an escaping exception into ZELVORA_ERROR_INTERNAL.
template <class Body>
zelvora_status guarded(Body body) {
  try {
    return body();
  } catch (const std::exception& error) {
    return fail(ZELVORA_ERROR_INTERNAL, std::string("internal error: ") + error.what());
  } catch (...) {
    return fail(ZELVORA_ERROR_INTERNAL, "internal error");
  }
}

/// OK on the main thread of a live platform; `operation` names the call in the message. The C
/// API's form of zelvora::onMainThread: it answers with a status and the last error, and does not
/// abort in debug builds.
zelvora_status onMainThread(const char* operation, bool needsPlatform = true) {
  if (!zp::hasMainQueue()) {
    if (!needsPlatform) return ZELVORA_OK;
    return fail(ZELVORA_ERROR_NO_PLATFORM, std::string(operation) +
                                               ": no platform: create one with "
                                               "zelvora_platform_create_* first");
  }
  if (zp::mainQueue().isMainThread()) return ZELVORA_OK;
  const std::string line =
      std::string("ZelvoraFramework - ") + operation + " called off the main thread";
  log(LogLevel::error, line);
  return fail(ZELVORA_ERROR_OFF_MAIN_THREAD, line);
}

zelvora_status checkPlatform(zelvora_platform* platform, const char* operation) {
  if (platform == nullptr || platform != current)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT,
                std::string(operation) + ": not the platform that is alive");
  return onMainThread(operation);
}

}  // namespace

zelvora_status capi::fail(zelvora_status status, std::string message) {
  lastError = std::move(message);
  return status;
}

namespace {
/// What zelvora_set_web_content_limits asked for the next platforms.
zp::WebContentLimits webContentLimits;
}  // namespace

zp::HostEnvironment capi::environmentFrom(const zelvora_environment* given) {
  zp::HostEnvironment environment;
  environment.webContent = webContentLimits;
  if (given == nullptr) return environment;
  const auto text = [](const char* value) { return value ? std::string(value) : std::string(); };
  if (given->bundle_identifier) environment.bundleIdentifier = given->bundle_identifier;
  environment.configDirectory = text(given->config_directory);
  environment.cachesDirectory = text(given->caches_directory);
  environment.temporaryDirectory = text(given->temporary_directory);
  environment.advertisingIdentifier = text(given->advertising_identifier);
  return environment;
}

zelvora_status capi::createPlatform(zelvora_platform** platform, const char* operation,
                                    const std::function<std::unique_ptr<zp::Backend>()>& make) {
  if (platform == nullptr) return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "platform is NULL");
  *platform = nullptr;
  return guarded([&] {
    if (current != nullptr || zp::hasMainQueue())
      return fail(ZELVORA_ERROR_PLATFORM, std::string(operation) + ": a platform is alive");
    auto made = std::make_unique<zelvora_platform>();
    try {
      made->backend = make();
    } catch (const std::exception& error) {
      return fail(ZELVORA_ERROR_PLATFORM, std::string(operation) + ": " + error.what());
    }
    current = made.release();
    *platform = current;
    return succeed();
  });
}

extern "C" {

const char* zelvora_version(void) {
  return sdkVersion();
}

const char* zelvora_last_error(void) {
  return lastError.c_str();
}

zelvora_status zelvora_set_web_content_limits(unsigned memory_mib, double unresponsive_seconds,
                                              zelvora_web_sandbox sandbox) {
  if (sandbox < ZELVORA_WEB_SANDBOX_PREFERRED || sandbox > ZELVORA_WEB_SANDBOX_OFF)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "sandbox: not a zelvora_web_sandbox");
  webContentLimits.memoryMiB = memory_mib;
  webContentLimits.unresponsiveSeconds =
      unresponsive_seconds > 0 ? unresponsive_seconds : zp::WebContentLimits{}.unresponsiveSeconds;
  webContentLimits.sandbox = sandbox == ZELVORA_WEB_SANDBOX_REQUIRED ? zp::WebSandbox::required
                             : sandbox == ZELVORA_WEB_SANDBOX_OFF    ? zp::WebSandbox::off
                                                                     : zp::WebSandbox::preferred;
  return succeed();
}

zelvora_status zelvora_platform_create_headless(const zelvora_environment* environment,
                                                zelvora_platform** platform) {
  return createPlatform(platform, "zelvora_platform_create_headless", [&] {
    return std::make_unique<zp::headless::HeadlessPlatform>(environmentFrom(environment));
  });
}

void zelvora_platform_destroy(zelvora_platform* platform) {
  if (platform == nullptr || platform != current) return;
  if (onMainThread("zelvora_platform_destroy") != ZELVORA_OK) return;
  current = nullptr;
  try {
    delete platform;
  } catch (...) {
    // A backend's teardown does not throw; nothing may leave through the C boundary anyway.
  }
}

zelvora_status zelvora_platform_pump(zelvora_platform* platform, size_t* ran) {
  if (const auto status = checkPlatform(platform, "zelvora_platform_pump")) return status;
  return guarded([&] {
    const std::size_t count = platform->backend->mainQueue().pump();
    if (ran != nullptr) *ran = count;
    return succeed();
  });
}

zelvora_status zelvora_platform_handle_key(zelvora_platform* platform, zelvora_key key,
                                           int* taken) {
  if (const auto status = checkPlatform(platform, "zelvora_platform_handle_key")) return status;
  if (key < ZELVORA_KEY_ESCAPE || key > ZELVORA_KEY_SPACE)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_platform_handle_key: unknown key");
  return guarded([&] {
    // The C constants follow the model's keys in order.
    const bool used = platform->backend->handleKey(static_cast<zp::Key>(key));
    if (taken != nullptr) *taken = used ? 1 : 0;
    return succeed();
  });
}

zelvora_status zelvora_platform_run_for(zelvora_platform* platform, double seconds) {
  if (const auto status = checkPlatform(platform, "zelvora_platform_run_for")) return status;
  if (!(seconds >= 0))
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_platform_run_for: seconds < 0");
  return guarded([&] {
    platform->quitAsked = false;
    platform->backend->mainQueue().runUntil([platform] { return platform->quitAsked.load(); },
                                            seconds);
    return succeed();
  });
}

zelvora_status zelvora_platform_run(zelvora_platform* platform) {
  if (const auto status = checkPlatform(platform, "zelvora_platform_run")) return status;
  return guarded([&] {
    platform->quitAsked = false;
    platform->running = true;
    platform->backend->mainQueue().run();
    platform->running = false;
    return succeed();
  });
}

zelvora_status zelvora_platform_quit(zelvora_platform* platform) {
  if (platform == nullptr) return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "platform is NULL");
  return guarded([&] {
    platform->quitAsked = true;
    // run() has a quit of its own; run_for's wait ends with the next task.
    if (platform->running)
      platform->backend->mainQueue().quit();
    else
      platform->backend->mainQueue().post([] {});
    return succeed();
  });
}

zelvora_status zelvora_set_server(const char* url, const char* ca_file, double timeout_seconds) {
  if (const auto status = onMainThread("zelvora_set_server", false)) return status;
  return guarded([&] {
    ServerConfiguration configuration;
    if (url != nullptr) configuration.url = url;
    if (ca_file != nullptr) configuration.caFile = ca_file;
    if (timeout_seconds > 0) configuration.timeoutSeconds = timeout_seconds;
    ZelController::sharedInstance().setServerConfiguration(configuration);
    return succeed();
  });
}

zelvora_status zelvora_set_callbacks(const zelvora_callbacks* callbacks, void* user) {
  if (const auto status = onMainThread("zelvora_set_callbacks", false)) return status;
  return guarded([&] {
    bridge = callbacks ? std::make_shared<capi::CallbackBridge>(*callbacks, user) : nullptr;
    ZelController::sharedInstance().setEventDelegate(bridge);
    return succeed();
  });
}

zelvora_status zelvora_set_no_ads_reason_callback(zelvora_no_ads_reason_callback callback,
                                                  void* user) {
  if (const auto status = onMainThread("zelvora_set_no_ads_reason_callback", false)) return status;
  capi::noAdsReasonCallback() = {callback, callback ? user : nullptr};
  return succeed();
}

zelvora_status zelvora_set_ad_screen_callbacks(zelvora_placement_callback will_present,
                                               zelvora_placement_callback did_dismiss, void* user) {
  if (const auto status = onMainThread("zelvora_set_ad_screen_callbacks", false)) return status;
  const bool any = will_present || did_dismiss;
  capi::screenCallbacks() = {will_present, did_dismiss, any ? user : nullptr};
  return succeed();
}

zelvora_status zelvora_set_load_callbacks(zelvora_no_ads_reason_callback failed_to_load,
                                          zelvora_placement_callback ready_again, void* user) {
  if (const auto status = onMainThread("zelvora_set_load_callbacks", false)) return status;
  const bool any = failed_to_load || ready_again;
  capi::loadCallbacks() = {failed_to_load, ready_again, any ? user : nullptr};
  return succeed();
}

zelvora_status zelvora_set_vast(int enabled, int max_wrapper_depth, double request_timeout_seconds,
                                int max_bitrate_kbps) {
  if (const auto status = onMainThread("zelvora_set_vast", false)) return status;
  return guarded([&] {
    VastSettings settings;
    settings.enabled = enabled != 0;
    settings.maxWrapperDepth = max_wrapper_depth;
    settings.requestTimeoutSeconds = request_timeout_seconds;
    settings.maxBitrateKbps = max_bitrate_kbps;
    ZelController::sharedInstance().setVastSettings(settings);
    return succeed();
  });
}

zelvora_status zelvora_set_ad_settings(double retry_initial_seconds, double retry_max_seconds,
                                       double ad_time_to_live_seconds,
                                       double minimum_seconds_between_ads, int test_mode) {
  if (const auto status = onMainThread("zelvora_set_ad_settings", false)) return status;
  return guarded([&] {
    AdSettings settings;
    settings.retryInitialSeconds = retry_initial_seconds;
    settings.retryMaxSeconds = retry_max_seconds;
    settings.adTimeToLiveSeconds = ad_time_to_live_seconds;
    settings.minimumSecondsBetweenAds = minimum_seconds_between_ads;
    settings.testMode = test_mode != 0;
    settings.decodedImageBudgetMiB =
        ZelController::sharedInstance().adSettings().decodedImageBudgetMiB;
    ZelController::sharedInstance().setAdSettings(settings);
    return succeed();
  });
}

zelvora_status zelvora_set_decoded_image_budget(double mebibytes) {
  if (const auto status = onMainThread("zelvora_set_decoded_image_budget", false)) return status;
  return guarded([&] {
    AdSettings settings = ZelController::sharedInstance().adSettings();
    settings.decodedImageBudgetMiB = mebibytes;
    ZelController::sharedInstance().setAdSettings(settings);
    return succeed();
  });
}

zelvora_status zelvora_warm_up(void) {
  if (const auto status = onMainThread("zelvora_warm_up")) return status;
  return guarded([] {
    ZelController::sharedInstance().warmUp();
    return succeed();
  });
}

zelvora_status zelvora_initialize(const char* app_id) {
  if (app_id == nullptr)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_initialize: app_id is NULL");
  if (const auto status = onMainThread("zelvora_initialize")) return status;
  return guarded([&] {
    auto& sdk = ZelController::sharedInstance();
    if (sdk.isInitialized())
      return fail(ZELVORA_ERROR_ALREADY_INITIALIZED, "zelvora_initialize: already initialised");
    sdk.initialize(app_id);
    return succeed();
  });
}

zelvora_status zelvora_is_ready(const char* placement_id, int* ready) {
  if (placement_id == nullptr || ready == nullptr)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_is_ready: NULL argument");
  *ready = 0;
  if (const auto status = onMainThread("zelvora_is_ready")) return status;
  return guarded([&] {
    *ready = ZelController::sharedInstance().isReady(placement_id) ? 1 : 0;
    return succeed();
  });
}

zelvora_status zelvora_show_ad(zelvora_platform* platform, const char* placement_id) {
  if (placement_id == nullptr)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_show_ad: placement_id is NULL");
  if (const auto status = checkPlatform(platform, "zelvora_show_ad")) return status;
  return guarded([&] {
    auto& sdk = ZelController::sharedInstance();
    const std::string id = placement_id;
    if (!sdk.isInitialized())
      return fail(ZELVORA_ERROR_NOT_INITIALIZED, "zelvora_show_ad: the SDK is not initialized");
    if (internal::ControllerAccess::placements().find(id) == nullptr)
      return fail(ZELVORA_ERROR_UNKNOWN_PLACEMENT, "zelvora_show_ad: no placement \"" + id + "\"");
    if (!sdk.isReady(id))
      return fail(ZELVORA_ERROR_NOT_READY,
                  "zelvora_show_ad: the ad of placement \"" + id + "\" is not ready");
    sdk.showAd(platform->backend->rootViewController(), id);
    return succeed();
  });
}

zelvora_status zelvora_get_consent_state(zelvora_consent_state* state) {
  if (state == nullptr)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_get_consent_state: state is NULL");
  if (const auto status = onMainThread("zelvora_get_consent_state", false)) return status;
  return guarded([&] {
    *state = static_cast<zelvora_consent_state>(ZelController::sharedInstance().getConsentState());
    return succeed();
  });
}

zelvora_status zelvora_set_consent(zelvora_consent_state state, const char* wording,
                                   int64_t obtained_timestamp_sec) {
  const auto consent = consentStateFromRawValue(static_cast<std::int64_t>(state));
  if (!consent)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_set_consent: no such consent state");
  if (const auto status = onMainThread("zelvora_set_consent", false)) return status;
  return guarded([&] {
    ZelController::sharedInstance().updateContestState(*consent, wording ? wording : "",
                                                       obtained_timestamp_sec);
    return succeed();
  });
}

zelvora_status zelvora_get_consent_json(char* buffer, size_t capacity, size_t* needed) {
  if (buffer == nullptr && capacity > 0)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_get_consent_json: buffer is NULL");
  if (const auto status = onMainThread("zelvora_get_consent_json", false)) return status;
  return guarded([&] {
    // Replaced, not thrown: a wording that is not UTF-8 still gives the record.
    const std::string text = ZelController::sharedInstance().getConsentData().dump(
        -1, ' ', false, JSON::error_handler_t::replace);
    if (needed != nullptr) *needed = text.size() + 1;
    if (capacity < text.size() + 1)
      return fail(ZELVORA_ERROR_BUFFER_TOO_SMALL, "zelvora_get_consent_json: the record needs " +
                                                      std::to_string(text.size() + 1) + " bytes");
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return succeed();
  });
}

zelvora_status zelvora_set_consent_strings(const char* tcf, const char* gpp,
                                           const int* gpp_section_ids, size_t gpp_section_count,
                                           const char* us_privacy) {
  constexpr const char* operation = "zelvora_set_consent_strings";
  if (gpp_section_ids == nullptr && gpp_section_count > 0)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT,
                std::string(operation) + ": gpp_section_ids is NULL with a count above 0");
  // Checked before the ids are copied: an absurd count would be an absurd allocation.
  if (gpp_section_count > kMaxGppSectionIds)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, std::string(operation) + ": more than " +
                                                    std::to_string(kMaxGppSectionIds) +
                                                    " GPP section ids");
  if (const auto status = onMainThread(operation, false)) return status;
  return guarded([&] {
    const auto text = [](const char* value) { return value ? std::string(value) : std::string(); };
    ConsentStrings strings;
    strings.tcfString = text(tcf);
    strings.gppString = text(gpp);
    strings.gppSectionIds.assign(gpp_section_ids, gpp_section_ids + gpp_section_count);
    strings.usPrivacy = text(us_privacy);
    if (const auto why = whyInvalid(strings))
      return fail(ZELVORA_ERROR_INVALID_ARGUMENT, std::string(operation) + ": " + *why);
    ZelController::sharedInstance().setConsentStrings(strings);
    return succeed();
  });
}

zelvora_status zelvora_set_log_sink(zelvora_log_sink sink, void* user) {
  return guarded([&] {
    if (sink == nullptr) {
      setLevelLogSink(nullptr);
    } else {
      setLevelLogSink([sink, user](LogLevel level, std::string_view line) {
        const std::string text(line);
        sink(static_cast<zelvora_log_level>(level), text.c_str(), user);
      });
    }
    return succeed();
  });
}

zelvora_status zelvora_set_log_level(zelvora_log_level level) {
  if (level < ZELVORA_LOG_ERROR || level > ZELVORA_LOG_TRACE)
    return fail(ZELVORA_ERROR_INVALID_ARGUMENT, "zelvora_set_log_level: no such level");
  setLogLevel(static_cast<LogLevel>(level));
  return succeed();
}

}  // extern "C"
