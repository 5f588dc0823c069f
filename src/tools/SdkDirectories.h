#pragma once

#include <filesystem>

namespace zelvora {

/// This process's own folder for temporary files (ad media): `run-<pid>-<random>` in the
/// application's temporary folder, made on first use and held for the process's life by a lock
/// on its ".lock" file, so that no other process of the application empties it. Empty when it
/// cannot be had (one console line).
std::filesystem::path sdkTemporaryDirectory();
/// Removes the run folders of the application's temporary folder that no live process holds:
/// those whose lock can be taken (its holder is gone), and those without a lock file after a
/// minute (a process killed while making one). Never this process's own.
void removeAbandonedRunFolders();
/// The application's caches folder (the SDK's web assets and icons), kept across runs. Empty
/// when it cannot be had (one console line).
std::filesystem::path sdkCachesDirectory();

}  // namespace zelvora
