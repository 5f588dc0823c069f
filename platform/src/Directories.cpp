#include "zelvora/platform/Directories.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "zelvora/Log.h"
#include "zelvora/platform/HostEnvironment.h"
#include "zelvora/platform/Mutex.h"

namespace zelvora::platform {
namespace fs = std::filesystem;

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// Logs `line` the first time only: a folder is asked for at every use.
void logOnce(const std::string& line) {
  static Mutex mutex;
  static std::set<std::string> logged ZELVORA_GUARDED_BY(mutex);
  MutexLock lock(mutex);
  if (logged.insert(line).second) log(LogLevel::error, line);
}

std::optional<fs::path> applicationDirectory(const std::string& base, const std::string& root) {
  const fs::path below = fs::path(root) / applicationFolderName();
  if (!createPrivateDirectories(base, below)) return std::nullopt;
  const fs::path folder = fs::path(base) / below;
  // A read-only file system, or a folder made immutable: its users keep what they would have
  // stored in memory, or elsewhere.
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0) {
    const std::string why = std::strerror(errno);
    logOnce("cannot write in folder " + folder.string() + ": " + why);
    return std::nullopt;
  }
  return folder;
}

bool failed(const fs::path& path, const char* why) {
  log(LogLevel::error, "refusing folder " + path.string() + ": " + why);
  return false;
}

bool removeAt(int parent, const char* name) {
  const int fd = ::openat(parent, name, kDirectoryFlags);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    if (errno != ELOOP && errno != ENOTDIR) return false;
    // A file or a link: the entry itself goes.
    return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;
  }
  DIR* directory = ::fdopendir(fd);
  if (directory == nullptr) {
    ::close(fd);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string entryName = entry->d_name;
    if (entryName != "." && entryName != "..") names.push_back(entryName);
  }
  bool ok = true;
  for (const auto& entryName : names) ok = removeAt(::dirfd(directory), entryName.c_str()) && ok;
  ::closedir(directory);
  return (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && ok;
}

}  // namespace

std::string applicationFolderName() {
  const auto& bundle = hostEnvironment().bundleIdentifier;
  if (!bundle || bundle->empty() || *bundle == "." || *bundle == "..") return "default";
  std::string name = bundle->substr(0, 200);
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (!plain) c = '_';
  }
  return name;
}

std::optional<fs::path> temporaryDirectory() {
  return applicationDirectory(hostEnvironment().temporaryDirectory,
                              "zelvora-" + std::to_string(::geteuid()));
}

std::optional<fs::path> cachesDirectory() {
  return applicationDirectory(hostEnvironment().cachesDirectory, "zelvora");
}

std::optional<fs::path> configDirectory() {
  return applicationDirectory(hostEnvironment().configDirectory, "zelvora");
}

bool createPrivateDirectories(const fs::path& base, const fs::path& below) {
  std::error_code error;
  fs::create_directories(base, error);
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failed(base, std::strerror(errno));
  fs::path reached = base;
  for (const auto& part : below) {
    reached /= part;
    // Made or found, the folder is then opened without following a link, so what is checked
    // is what the path names.
    if (::mkdirat(fd, part.c_str(), 0700) != 0 && errno != EEXIST) {
      ::close(fd);
      return failed(reached, std::strerror(errno));
    }
    const int next = ::openat(fd, part.c_str(), kDirectoryFlags);
    ::close(fd);
    if (next < 0) {
      const bool notAFolder = errno == ELOOP || errno == ENOTDIR;
      return failed(reached, notAFolder ? "a symbolic link or not a folder" : std::strerror(errno));
    }
    fd = next;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid()) {
      ::close(fd);
      return failed(reached, "owned by another user");
    }
    if ((info.st_mode & 07777) != 0700) ::fchmod(fd, 0700);
  }
  ::close(fd);
  return true;
}

bool removeTree(const fs::path& path) {
  const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  const bool ok = removeAt(fd, path.filename().c_str());
  ::close(fd);
  return ok;
}

}  // namespace zelvora::platform
