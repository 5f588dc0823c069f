#include "zelvora/platform/Preferences.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "JsonNesting.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Directories.h"
#include "zelvora/platform/HostEnvironment.h"

namespace zelvora::platform {
namespace fs = std::filesystem;

namespace {

constexpr const char* kTemporaryMark = ".tmp";

bool validSuiteName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool writableDirectory(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  return fs::is_directory(directory, error) && ::access(directory.c_str(), W_OK) == 0;
}

/// The most a preferences file may hold: the consent record takes a few hundred bytes, and the
/// whole file is read into memory.
constexpr std::size_t kMaxPreferencesBytes = std::size_t{1} << 20;

/// The text of `file` when it is a regular file within the limit; otherwise why it is not used.
/// Opened without following a link (what the path names is what is read) and without blocking,
/// so a FIFO put there cannot stall the main thread.
struct Stored {
  std::optional<std::string> text;
  std::string problem;
};

Stored readRegularFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    return {std::nullopt, errno == ELOOP ? "is a symbolic link" : std::strerror(errno)};
  }
  const std::string tooLarge = "is larger than " + std::to_string(kMaxPreferencesBytes) + " bytes";
  Stored stored;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    stored.problem = "is not a regular file";
  } else if (static_cast<std::uint64_t>(info.st_size) > kMaxPreferencesBytes) {
    stored.problem = tooLarge;
  } else {
    std::string text;
    char buffer[16384];
    ssize_t n = 0;
    // The file may grow while it is read: reading stops past the limit.
    while (text.size() <= kMaxPreferencesBytes &&
           ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
      if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    }
    if (n < 0) {
      stored.problem = std::strerror(errno);
    } else if (text.size() > kMaxPreferencesBytes) {
      stored.problem = tooLarge;
    } else {
      stored.text = std::move(text);
    }
  }
  ::close(fd);
  return stored;
}

/// The file parsed, when it exists and holds a JSON object; `complain` logs one that does not,
/// or that is no regular file within the limit: it is set aside (read as empty) and replaced
/// by the next save.
std::optional<nlohmann::json> readObject(const fs::path& file, bool complain) {
  Stored stored = readRegularFile(file);
  if (stored.text) {
    auto parsed = nlohmann::json::parse(*stored.text, nullptr, false);
    if (parsed.is_object() && nestingWithin(parsed)) return parsed;
    stored.problem = "is not a JSON object of at most " + std::to_string(kMaxJsonDepth) + " levels";
  }
  if (complain && !stored.problem.empty())
    log(LogLevel::warning,
        "preferences file " + file.string() + " " + stored.problem + "; starting empty");
  return std::nullopt;
}

bool writeAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

/// A save writes "<file>.tmp<pid>"; one whose process is gone was cut short by a crash.
bool staleTemporary(const fs::path& folder, const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 ||
      name.compare(0, prefix.size(), prefix) != 0)
    return false;
  const std::string digits = name.substr(prefix.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const pid_t pid = static_cast<pid_t>(std::stol(digits));
  // This process saves only inside `save`: a file with its id is left by an earlier process.
  if (pid == ::getpid()) return true;
  const bool alive = pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
  struct stat info {};
  const bool old =
      ::lstat((folder / name).c_str(), &info) == 0 && std::time(nullptr) - info.st_mtime > 60;
  return !alive || old;
}

void removeStaleTemporaries(const fs::path& file) {
  const fs::path folder = file.parent_path();
  const std::string prefix = file.filename().string() + kTemporaryMark;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return;
  while (const dirent* entry = ::readdir(directory)) {
    if (staleTemporary(folder, entry->d_name, prefix))
      ::unlinkat(::dirfd(directory), entry->d_name, 0);
  }
  ::closedir(directory);
}

}  // namespace

std::shared_ptr<Preferences> Preferences::open(const std::string& suiteName) {
  if (!validSuiteName(suiteName)) return nullptr;
  const auto folder = configDirectory();
  if (!folder) return nullptr;
  const fs::path file = *folder / (suiteName + ".json");
  const fs::path former = fs::path(hostEnvironment().configDirectory) / (suiteName + ".json");
  removeStaleTemporaries(former);
  std::error_code error;
  const bool taken = fs::exists(fs::symlink_status(file, error));
  auto suite = openFile(file);
  if (suite && !taken) {
    if (auto values = readObject(former, false)) {
      suite->values_ = std::move(*values);
      suite->save();
    }
  }
  return suite;
}

std::shared_ptr<Preferences> Preferences::openFile(const fs::path& file) {
  if (!writableDirectory(file.parent_path())) return nullptr;
  removeStaleTemporaries(file);
  std::shared_ptr<Preferences> suite(new Preferences(file));
  suite->load();
  return suite;
}

Preferences::Preferences(fs::path file) : file_(std::move(file)) {}

void Preferences::load() {
  if (auto values = readObject(file_, true)) values_ = std::move(*values);
}

void Preferences::save() {
  const fs::path temporary = file_.string() + kTemporaryMark + std::to_string(::getpid());
  // Invalid UTF-8 is stored as U+FFFD rather than failing the save.
  const std::string text =
      values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  if (ok) {
    ok = writeAll(fd, text);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
  }
  ok = ok && ::rename(temporary.c_str(), file_.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    log(LogLevel::error, "could not save preferences file " + file_.string());
    return;
  }
  // The rename is durable only once the folder's entry is on disk.
  const int folder = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

std::int64_t Preferences::integer(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return 0;
  if (it->is_number_integer()) return it->get<std::int64_t>();
  if (it->is_number_float()) {
    const double value = it->get<double>();
    if (value > -9.2e18 && value < 9.2e18) return static_cast<std::int64_t>(value);
  }
  return 0;
}

std::optional<std::string> Preferences::string(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool Preferences::boolean(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  return false;
}

std::optional<nlohmann::json> Preferences::object(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

void Preferences::setInteger(const std::string& key, std::int64_t value) {
  values_[key] = value;
  save();
}

void Preferences::setBoolean(const std::string& key, bool value) {
  values_[key] = value;
  save();
}

void Preferences::setString(const std::string& key, const std::string& value) {
  values_[key] = value;
  save();
}

void Preferences::setValues(const nlohmann::json& values) {
  if (!values.is_object()) return;
  for (const auto& [key, value] : values.items()) {
    if (value.is_null())
      values_.erase(key);
    else
      values_[key] = value;
  }
  save();
}

}  // namespace zelvora::platform
