#pragma once

namespace zelvora::internal {

/// Tests only: puts the SDK's process-wide state back as a fresh process has it, so that one
/// process can run many SDK worlds one after another. The controller forgets its placements
/// (their ad units go at once), its delegate, its initialisation, its server configuration, its
/// asset base URL and its additions, and reads the consent record anew from the installed
/// platform's preferences; the REST client's address and the HTTP client's settings return to
/// their defaults; the `Asset` paths are cleared; and no transfer started before the reset calls
/// back. Main thread only, with a platform backend installed.
void resetProcessState();

}  // namespace zelvora::internal
