#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "zelvora/Export.h"
#include "zelvora/JsonAbi.h"

namespace zelvora::platform {

/// A named suite of user preferences, kept as a JSON file in the application's preferences
/// folder. Every change replaces the file as a whole (a temporary file beside it, flushed,
/// renamed over it, the folder flushed), so a crash leaves the old or the new contents, never
/// a mix; `setValues` changes several keys in one such replace. A file that cannot be read as
/// a JSON object, or nests deeper than 512 levels, is treated as empty (one console line) and
/// repaired by the next change.
class ZELVORA_API Preferences {
 public:
  /// Opens the suite `<suiteName>.json` in the application's preferences folder
  /// (`configDirectory()`). A suite the application does not have yet is taken over once from
  /// `<configDirectory of the environment>/<suiteName>.json`, where every application kept it
  /// before each had a folder of its own: keys and values unchanged. That file stays, since
  /// every application on the machine read it and each takes it over in turn. Returns nullptr
  /// when the suite cannot be kept: an invalid name, or a folder that cannot be had or written.
  static std::shared_ptr<Preferences> open(const std::string& suiteName);
  /// Opens a suite stored in `file` (its directory must be writable). Temporary files of
  /// earlier saves of `file` are removed first, when their process is gone or they are older
  /// than a minute.
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
  /// Stores every member of `values` (an object) in one replace of the file; a null member
  /// removes its key.
  void setValues(const nlohmann::json& values);

  const std::filesystem::path& file() const { return file_; }

 private:
  explicit Preferences(std::filesystem::path file);
  void load();
  void save();

  std::filesystem::path file_;
  nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace zelvora::platform
