#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ControllerAccess.h"
#include "adunit/types/InterstitialHtml.h"
#include "support/SdkTest.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace zelvora::test {

/// The real SDK on the GTK backend, with WebKit pages, against the reference server on
/// loopback. The server serves a copy of server/assets (the real mraid.js among them) to
/// which a test adds pages of its own.
class GtkSdkTest : public ::testing::Test {
 protected:
  explicit GtkSdkTest(platform::WebContentLimits limits = {})
      : platform{environment(folder.path(), limits), platform::gtk::UrlMode::record} {
    fs::create_directories(assets);
    fs::copy(ZELVORA_SERVER_ASSETS_DIR, assets, fs::copy_options::recursive);
    sdk().setEventDelegate(delegate);
  }
  ~GtkSdkTest() override {
    if (server) server->stop();
  }

  static platform::HostEnvironment environment(const fs::path& root,
                                               platform::WebContentLimits limits = {}) {
    platform::HostEnvironment env;
    env.webContent = limits;
    env.configDirectory = root / "config";
    env.cachesDirectory = root / "caches";
    env.temporaryDirectory = root / "tmp";
    env.screenWidth = 320;
    env.screenHeight = 480;
    return env;
  }

  /// Starts the server with one ad "h" of `subtype` in placement "p", and initialises the SDK.
  void initializeWith(const JSON& data, const std::string& subtype) {
    initializeWith(oneAdCampaign("h", subtype, data));
  }
  void initializeWith(const JSON& campaigns) {
    server::ServerOptions options;
    options.campaigns = campaigns;
    options.assetDirectory = assets;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    sdk().setServerConfiguration(
        {.url = server->endpointUrl(), .caFile = {}, .timeoutSeconds = 10, .limits = {}});
    sdk().initialize("app");
    ASSERT_TRUE(runUntil([&] { return delegate->initCount > 0; })) << "no onInit";
  }

  bool runUntil(const std::function<bool()>& done, double seconds = 10) {
    return platform.mainQueue().runUntil(done, seconds);
  }

  /// What `script` evaluates to in `webView`'s page (null when it failed).
  JSON evaluate(const std::shared_ptr<platform::WebView>& webView, const std::string& script) {
    auto result = std::make_shared<std::optional<platform::JavaScriptResult>>();
    webView->evaluateJavaScript(script, [result](const auto& value) { *result = value; });
    EXPECT_TRUE(runUntil([&] { return result->has_value(); })) << script;
    if (!*result || (*result)->error) return nullptr;
    return JSON::parse((*result)->value.dump());
  }

  /// The view of `root`'s subtree with `identifier`, if any.
  static std::shared_ptr<platform::View> find(const std::shared_ptr<platform::View>& root,
                                              const std::string& identifier) {
    if (root->accessibilityIdentifier == identifier) return root;
    for (const auto& child : root->subviews()) {
      if (auto found = find(child, identifier)) return found;
    }
    return nullptr;
  }

  std::shared_ptr<InterstitialHtml> ad() { return firstAdOf<InterstitialHtml>(); }
  ZelController& sdk() { return ZelController::sharedInstance(); }

  TemporaryFolder folder;
  platform::gtk::GtkPlatform platform;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::unique_ptr<server::ReferenceServer> server;
  fs::path assets = folder.path() / "assets";
};

}  // namespace zelvora::test
