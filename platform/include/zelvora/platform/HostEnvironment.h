#pragma once

#include <optional>
#include <string>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// `authorized` is permanent access ("always" for location); `authorizedWhenInUse` exists for
/// location only.
enum class AuthorizationStatus {
  notDetermined,
  restricted,
  denied,
  authorized,
  authorizedWhenInUse
};

struct ZELVORA_API Location {
  double latitude = 0;
  double longitude = 0;
};

/// Whether creatives run in the web engine's sandbox (on the desktop, WebKit's: bubblewrap, with
/// no home folder, no host files and no network beyond what WebKit allows).
enum class WebSandbox {
  /// Sandboxed where the sandbox can start; elsewhere (a container without user namespaces)
  /// unsandboxed, with one console line saying so.
  preferred,
  /// Sandboxed, or no web content at all: where the sandbox cannot start, every page fails to
  /// load (one console line), and web ads are never ready.
  required,
  /// Ordinary web processes.
  off,
};

/// What a web page may take before the web engine ends its web process (and with it every page
/// that shares the process): the page then hears why (`WebContentTermination`).
struct ZELVORA_API WebContentLimits {
  /// The web process's memory, in MiB; 0 leaves the engine's own limit (a share of the
  /// machine's memory).
  unsigned memoryMiB = 1024;
  /// How long the web process may leave a question unanswered (a script spinning in a page
  /// holds every page of its process).
  double unresponsiveSeconds = 5;
  WebSandbox sandbox = WebSandbox::preferred;
};

/// The facts of the device and the application that a mobile OS would provide. A host fills
/// in what it knows and hands this to its backend at start-up; every empty field gets a
/// Linux default when the environment is installed:
/// - `systemVersion`: VERSION_ID of /etc/os-release (else "0");
/// - `advertisingIdentifier`: the zero UUID (a value that is not a UUID is replaced by it);
/// - `configDirectory`: $XDG_CONFIG_HOME, else $HOME/.config;
/// - `cachesDirectory`: $XDG_CACHE_HOME, else $HOME/.cache;
/// - `temporaryDirectory`: $TMPDIR, else /tmp;
/// - `screenWidth` and `screenHeight` (either zero): 414 by 896.
/// The application's own folders lie below these three, by `bundleIdentifier` (Directories.h).
struct ZELVORA_API HostEnvironment {
  std::string systemVersion;
  std::string model = "Desktop";
  /// Screen size in points, in the screen's own shape (wider than tall: it starts in
  /// landscape). Zero keeps the backend's default: a phone's 414 by 896 points headless, a
  /// window of 1280 by 720 on the desktop when it has a window of its own.
  double screenWidth = 0;
  double screenHeight = 0;

  bool locationServicesEnabled = false;
  /// The last location fix the system holds; the SDK never asks for one.
  std::optional<Location> lastKnownLocation;
  AuthorizationStatus locationAuthorization = AuthorizationStatus::notDetermined;
  AuthorizationStatus calendarAuthorization = AuthorizationStatus::notDetermined;
  AuthorizationStatus photoLibraryAuthorization = AuthorizationStatus::notDetermined;

  /// Canonical 36-character UUID text.
  std::string advertisingIdentifier;
  /// The host application's identifier (for example "com.example.game"); none by default. It
  /// names the application's folders.
  std::optional<std::string> bundleIdentifier;

  std::string configDirectory;
  std::string cachesDirectory;
  std::string temporaryDirectory;

  WebContentLimits webContent;
};

/// Installs `env` with its defaults filled in. Backends call this at start-up, on the main
/// thread, before the SDK is used.
ZELVORA_API void setHostEnvironment(HostEnvironment env);
/// The installed environment (the Linux defaults until one is installed).
ZELVORA_API const HostEnvironment& hostEnvironment();

}  // namespace zelvora::platform
