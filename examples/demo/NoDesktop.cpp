// A demo built without the desktop backend: main() refuses --desktop and --interactive before
// anything here could be asked for.

#include "Desktop.h"

namespace demo {

bool hasDesktop() {
  return false;
}

std::unique_ptr<Stage> makeDesktopStage(zelvora::platform::HostEnvironment, bool,
                                        std::optional<zelvora::platform::Size>) {
  return nullptr;
}

void runInteractive(Stage&, const std::vector<std::string>&, const AdCatalog&, const DelegateLog&,
                    const ServerRecords&, std::ostream&) {}

}  // namespace demo
