#include "zelvora/platform/Preferences.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "zelvora/Log.h"
#include "zelvora/platform/Directories.h"

namespace zelvora::platform {
namespace fs = std::filesystem;

namespace {
bool validSuiteName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool writableDirectory(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  return fs::is_directory(directory, error) && ::access(directory.c_str(), W_OK) == 0;
}
}  // namespace

std::shared_ptr<Preferences> Preferences::open(const std::string& suiteName) {
  if (!validSuiteName(suiteName)) return nullptr;
  return openFile(configDirectory() / (suiteName + ".json"));
}

std::shared_ptr<Preferences> Preferences::openFile(const fs::path& file) {
  if (!writableDirectory(file.parent_path())) return nullptr;
  std::shared_ptr<Preferences> suite(new Preferences(file));
  suite->load();
  return suite;
}

Preferences::Preferences(fs::path file) : file_(std::move(file)) {}

void Preferences::load() {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return;  // a suite that was never written
  std::stringstream text;
  text << in.rdbuf();
  auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
  if (parsed.is_object()) {
    values_ = std::move(parsed);
  } else {
    log("preferences file " + file_.string() + " is not a JSON object; starting empty");
  }
}

void Preferences::save() {
  const fs::path temporary = file_.string() + ".tmp" + std::to_string(::getpid());
  // Invalid UTF-8 is stored as U+FFFD rather than failing the save.
  const std::string text =
      values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  bool ok = out != nullptr;
  if (ok) {
    ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = std::fflush(out) == 0 && ok;
    ok = ::fsync(::fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
  }
  std::error_code error;
  if (ok) fs::rename(temporary, file_, error);
  if (!ok || error) {
    fs::remove(temporary, error);
    log("could not save preferences file " + file_.string());
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

}  // namespace zelvora::platform
