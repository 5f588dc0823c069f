#pragma once

#include "ScriptedPage.h"
#include "Stage.h"
#include "zelvora/platform/headless/HeadlessPlatform.h"
#include "zelvora/platform/headless/TestDriver.h"

namespace demo {

/// The headless backend on its manual clock: time moves when the user waits, so a tour runs
/// in no real time and its display times are exact; network answers still arrive in real
/// time. The engine runs no JavaScript, so the stage plays the pages' side (ScriptedPage).
class HeadlessStage final : public Stage {
 public:
  explicit HeadlessStage(zelvora::platform::HostEnvironment environment);

  bool waitFor(const std::function<bool()>& done, double seconds) override;
  void pause(double seconds) override;
  bool pauseUntil(const std::function<bool()>& done, double seconds) override;
  bool realTime() const override { return false; }

  bool snapshot(const std::filesystem::path& file) override;

  bool tap(const std::shared_ptr<zelvora::platform::View>& view) override;
  std::optional<std::string> tapPage(
      const std::shared_ptr<zelvora::platform::WebView>& webView) override;
  void letPagesLoad() override;
  bool rotate(zelvora::platform::InterfaceOrientation orientation) override;

 private:
  zelvora::platform::headless::HeadlessPlatform platform_;
  zelvora::platform::headless::TestDriver driver_;
  ScriptedPage page_;
};

}  // namespace demo
