#include "tools/SdkDirectories.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "zelvora/Log.h"
#include "zelvora/platform/Directories.h"

namespace zelvora {
namespace fs = std::filesystem;

namespace {

constexpr const char* kRunPrefix = "run-";
constexpr const char* kLockName = ".lock";

/// The run folder this process holds, for the temporary folder it was made in.
struct RunFolder {
  fs::path container;
  fs::path path;
  pid_t owner = 0;
  int lock = -1;
};

RunFolder& current() {
  static RunFolder folder;
  return folder;
}

std::string randomSuffix() {
  static std::mt19937 generator(std::random_device{}());
  static const char* const digits = "0123456789abcdef";
  std::string suffix;
  for (int i = 0; i < 8; ++i) suffix += digits[generator() % 16];
  return suffix;
}

/// Opens the lock file of `folder` and takes its lock; -1 when held by another process.
int takeLock(const fs::path& folder, int extraFlags) {
  const int fd =
      ::open((folder / kLockName).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | extraFlags, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

/// Makes and locks a new run folder in `container`; false when none could be had.
bool makeRunFolder(const fs::path& container, RunFolder& folder) {
  const std::string pid = std::to_string(::getpid());
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string name = kRunPrefix + pid + "-" + randomSuffix();
    if (!platform::createPrivateDirectories(container, name)) return false;
    const fs::path path = container / name;
    const int fd = takeLock(path, O_CREAT);
    // Another process may have taken the lock first, or taken it, removed the folder and let
    // go before ours: the lock then belongs to a file no longer in place.
    struct stat held;
    struct stat inPlace;
    if (fd >= 0 && ::fstat(fd, &held) == 0 && ::lstat((path / kLockName).c_str(), &inPlace) == 0 &&
        held.st_ino == inPlace.st_ino && held.st_dev == inPlace.st_dev) {
      folder = {container, path, ::getpid(), fd};
      return true;
    }
    if (fd >= 0) ::close(fd);
  }
  log(LogLevel::error, "could not make a run folder in " + container.string());
  return false;
}

bool abandoned(const fs::path& folder, int& lock) {
  struct stat info {};
  if (::lstat((folder / kLockName).c_str(), &info) != 0) {
    // Made by a process killed before it made its lock file, or one making it right now.
    return ::lstat(folder.c_str(), &info) == 0 && std::time(nullptr) - info.st_mtime > 60;
  }
  lock = takeLock(folder, 0);
  return lock >= 0;
}

}  // namespace

fs::path sdkTemporaryDirectory() {
  const auto container = platform::temporaryDirectory();
  if (!container) return {};
  RunFolder& folder = current();
  // A new environment (a test's) or a forked child needs a folder of its own.
  if (folder.lock >= 0 && (folder.container != *container || folder.owner != ::getpid())) {
    ::close(folder.lock);
    folder = {};
  }
  if (folder.lock < 0 && !makeRunFolder(*container, folder)) return {};
  return folder.path;
}

void removeAbandonedRunFolders() {
  const RunFolder& own = current();
  if (own.lock < 0) return;
  std::vector<std::string> names;
  if (DIR* directory = ::opendir(own.container.c_str())) {
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name.rfind(kRunPrefix, 0) == 0 && own.container / name != own.path) names.push_back(name);
    }
    ::closedir(directory);
  }
  for (const auto& name : names) {
    const fs::path folder = own.container / name;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) continue;
    int lock = -1;
    // Not a folder (a link, a file): nothing a process holds, so it goes as it is.
    if (S_ISDIR(info.st_mode) && !abandoned(folder, lock)) continue;
    if (!platform::removeTree(folder))
      log(LogLevel::warning, "could not remove " + folder.string());
    if (lock >= 0) ::close(lock);
  }
}

fs::path sdkCachesDirectory() {
  return platform::cachesDirectory().value_or(fs::path());
}

}  // namespace zelvora
