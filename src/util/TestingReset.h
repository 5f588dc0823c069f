#pragma once

#include <optional>
#include <string>

#include "zelvora/Json.h"

namespace zelvora::internal {

/// Tests only: puts the SDK's process-wide state back as a fresh process has it, so that one
/// process can run many SDK worlds one after another. The controller forgets its placements
/// (their ad units go at once), its delegate, its initialisation, its server configuration, its
/// asset base URL and its additions, and reads the consent record anew from the installed
/// platform's preferences; the REST client's address and the HTTP client's settings return to
/// their defaults; the `Asset` paths are cleared; and no transfer started before the reset calls
/// back. Main thread only, with a platform backend installed.
void resetProcessState();

/// Tests only: the controller handles `json`, or `error`, as the answer to its getPlacements
/// request, as when the REST client delivers one, but without a request. Main thread only.
void handleAnswer(std::optional<JSON> json, const std::optional<std::string>& error);

}  // namespace zelvora::internal
