#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "zelvora/Export.h"

namespace zelvora::platform {

/// Every application has folders of its own, as on a mobile OS, named after its bundle
/// identifier (`applicationFolderName()`), below the host environment's directories:
/// - temporary: `<temporaryDirectory>/zelvora-<uid>/<name>` (the user id keeps users apart in a
///   shared /tmp, where one could otherwise take the folder before the other);
/// - caches: `<cachesDirectory>/zelvora/<name>`;
/// - preferences: `<configDirectory>/zelvora/<name>`.
/// Each call makes sure the folder exists, as `createPrivateDirectories` does; none when it
/// was refused or could not be made (one console line), or cannot be written (a read-only file
/// system: one console line naming it, the first time).
ZELVORA_API std::optional<std::filesystem::path> temporaryDirectory();
ZELVORA_API std::optional<std::filesystem::path> cachesDirectory();
ZELVORA_API std::optional<std::filesystem::path> configDirectory();

/// The bundle identifier with every byte outside [A-Za-z0-9._-] replaced by "_" (at most 200
/// bytes); "default" when the host gave none, or one that is empty, "." or "..".
ZELVORA_API std::string applicationFolderName();

/// Makes `base / below` exist. The folders of `below` are created owner-only (0700); those
/// found must be real directories of this user, and are set to 0700. A symbolic link, a file or
/// another user's folder is refused with one console line and false. `base` is the
/// environment's own: created as usual when missing, and it may be a link (/tmp often is).
ZELVORA_API bool createPrivateDirectories(const std::filesystem::path& base,
                                          const std::filesystem::path& below);

/// Removes `path` and everything in it, never following a symbolic link (a link is removed,
/// not what it points to). True when nothing is left.
ZELVORA_API bool removeTree(const std::filesystem::path& path);

}  // namespace zelvora::platform
