#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace zelvora::platform {

/// A named suite of user preferences, kept as a JSON file under the config directory.
/// Every change rewrites the file atomically (write, flush, rename), so a crash leaves either
/// the old or the new file, never half of one. A file that cannot be read as a JSON object is
/// treated as empty (one console line) and repaired by the next change.
class Preferences {
 public:
  /// Opens the suite `<configDirectory>/<suiteName>.json`. Returns nullptr when the suite
  /// cannot be kept: an invalid name, or a config directory that cannot be created or written.
  static std::shared_ptr<Preferences> open(const std::string& suiteName);
  /// Opens a suite stored in `file` (its directory must be writable).
  static std::shared_ptr<Preferences> openFile(const std::filesystem::path& file);

  /// The integer under `key`; 0 when absent or not an integer.
  std::int64_t integer(const std::string& key) const;
  /// The string under `key`; none when absent or not a string.
  std::optional<std::string> string(const std::string& key) const;
  /// The boolean under `key`; false when absent (a number counts as true when non-zero).
  bool boolean(const std::string& key) const;
  /// Whatever is stored under `key`; none when absent.
  std::optional<nlohmann::json> object(const std::string& key) const;

  void setInteger(const std::string& key, std::int64_t value);
  void setBoolean(const std::string& key, bool value);
  void setString(const std::string& key, const std::string& value);

  const std::filesystem::path& file() const { return file_; }

 private:
  explicit Preferences(std::filesystem::path file);
  void load();
  void save();

  std::filesystem::path file_;
  nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace zelvora::platform
