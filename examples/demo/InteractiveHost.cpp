#include "InteractiveHost.h"

#include <algorithm>
#include <memory>

#include "Console.h"
#include "Tour.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Label.h"

namespace demo {
namespace {
using zelvora::platform::Button;
using zelvora::platform::Color;
using zelvora::platform::ControlEvent;
using zelvora::platform::ControlState;
using zelvora::platform::Label;

/// What a placement's button does.
struct ShowAd {
  std::string placement;
  std::weak_ptr<zelvora::platform::ViewController> host;

  void run() {
    if (const auto root = host.lock()) {
      Console::say("showing " + placement);
      zelvora::ZelController::sharedInstance().showAd(root, placement);
    }
  }
};

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
  return text.empty() ? "-" : text;
}
}  // namespace

void runInteractive(DesktopStage& stage, const std::vector<std::string>& placements,
                    const AdCatalog& catalog, const DelegateLog& delegate,
                    const ServerRecords& records, std::ostream& out) {
  const auto root = stage.backend().rootViewController();
  const auto screen = root->view();
  screen->backgroundColor = Color{0.95, 0.95, 0.97, 1};
  const double width = screen->frame.width - 40;

  auto title = Label::make({20, 24, width, 32});
  title->text = "Tap a placement to show its ad";
  title->font.bold = true;
  screen->addSubview(title);

  std::vector<std::shared_ptr<ShowAd>> actions;
  double y = 72;
  for (const auto& placement : placements) {
    const auto* description = catalog.find(placement);
    const std::string format =
        description && !description->format.empty() ? " (" + description->format + ")" : "";
    auto button = Button::make(zelvora::platform::ButtonType::system);
    button->frame = {20, y, width, 40};
    button->setTitle(placement + format, ControlState::normal);
    button->setTitleColor(Color::white(), ControlState::normal);
    button->backgroundColor = Color{0.18, 0.42, 0.8, 1};
    button->layer.cornerRadius = 8;
    actions.push_back(std::make_shared<ShowAd>(ShowAd{placement, root}));
    button->addTarget(actions.back(), &ShowAd::run, ControlEvent::touchUpInside);
    screen->addSubview(button);
    y += 48;
  }

  Console::say("the window lists the placements: close it to end");
  stage.platform().mainQueue().run();

  const auto beacons = records.settledBeacons(stage);
  auto byPlacement = beaconsByPlacement(beacons.value_or(std::vector<std::string>{}), catalog);
  out << "Session summary\n";
  for (const auto& placement : placements) {
    auto& sent = byPlacement[placement];
    std::sort(sent.begin(), sent.end());
    out << placement << "\n  events:  " << joined(delegate.events(placement))
        << "\n  beacons: " << (beacons ? joined(sent) : "not observed") << "\n";
  }
}

}  // namespace demo
