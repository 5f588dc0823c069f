// The demo's desktop window, on the GTK backend.

#include "Desktop.h"

#include "DesktopStage.h"
#include "InteractiveHost.h"

namespace demo {

bool hasDesktop() {
  return true;
}

std::unique_ptr<Stage> makeDesktopStage(zelvora::platform::HostEnvironment environment,
                                        bool interactive,
                                        std::optional<zelvora::platform::Size> window) {
  using zelvora::platform::gtk::UrlMode;
  // A phone's screen, as on the headless backend: the tour's pictures are of one.
  environment.screenWidth = 414;
  environment.screenHeight = 896;
  return std::make_unique<DesktopStage>(std::move(environment),
                                        interactive ? UrlMode::open : UrlMode::record, window);
}

void runInteractive(Stage& stage, const std::vector<std::string>& placements,
                    const AdCatalog& catalog, const DelegateLog& delegate,
                    const ServerRecords& records, std::ostream& out) {
  runInteractive(dynamic_cast<DesktopStage&>(stage), placements, catalog, delegate, records, out);
}

}  // namespace demo
