// What the README's C++ snippets take as given: the names its prose gives them, as the
// parameters of the function each snippet becomes.
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "zelvora/ZelController.h"
#include "zelvora/ZelExtendedEventDelegate.h"
#include "zelvora/platform/gtk/GtkPlatform.h"

namespace readme {

/// The host's delegate of the guide: `initialised` is set in onInit.
struct Delegate : zelvora::ZelEventDelegate {
  void onInit(const std::vector<std::string>&) override { initialised = true; }
  bool initialised = false;
};

}  // namespace readme

// The SDK, the host's environment and platform, its delegate, a placement, the host's GtkWindow
// or SDL window, and whether its game runs.
#define README_SNIPPET_PARAMETERS                                                          \
  [[maybe_unused]] zelvora::ZelController &sdk,                                            \
      [[maybe_unused]] zelvora::platform::HostEnvironment env,                             \
      [[maybe_unused]] zelvora::platform::gtk::GtkPlatform &platform,                      \
      [[maybe_unused]] std::shared_ptr<readme::Delegate> delegate,                         \
      [[maybe_unused]] const std::string &placementId, [[maybe_unused]] GtkWidget *window, \
      [[maybe_unused]] SDL_Window *sdlWindow, [[maybe_unused]] bool running
#define README_SNIPPET_USES
