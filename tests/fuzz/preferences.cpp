// A preferences file's bytes, as the platform's preferences read them: every reading of every
// key, then a save of new values, which must keep the keys read, store the new ones, and leave
// no temporary file behind.
#include <fstream>

#include "FuzzWorld.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Preferences.h"

using namespace zelvora;
using platform::Preferences;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setLogSink([](std::string_view) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int files = 0;
  const fuzz::fs::path folder = fuzz::scratchFolder() / ("preferences-" + std::to_string(++files));
  fuzz::fs::create_directories(folder);
  const fuzz::fs::path file = folder / "suite.json";
  const std::string bytes = fuzz::text(data, size);
  { std::ofstream(file, std::ios::binary) << bytes; }

  auto suite = Preferences::openFile(file);
  fuzz::check(suite != nullptr, "the suite opens");
  std::vector<std::string> keys = {"consentState", "missing"};
  const auto parsed = nlohmann::json::parse(bytes, nullptr, false);
  if (parsed.is_object()) {
    for (const auto& item : parsed.items()) keys.push_back(item.key());
  }
  std::vector<std::string> held;
  for (const auto& key : keys) {
    (void)suite->integer(key);
    (void)suite->string(key);
    (void)suite->boolean(key);
    if (suite->object(key)) held.push_back(key);
  }

  // The input's bytes as a value too: a string need not be valid UTF-8.
  suite->setValues({{"fuzzInteger", static_cast<std::int64_t>(size) - 4096},
                    {"fuzzBoolean", size % 2 == 1},
                    {"fuzzString", bytes.substr(0, 64)}});
  const auto reread = Preferences::openFile(file);
  fuzz::check(reread && reread->integer("fuzzInteger") == static_cast<std::int64_t>(size) - 4096 &&
                  reread->boolean("fuzzBoolean") == (size % 2 == 1) &&
                  reread->string("fuzzString").has_value(),
              "a save stores its values");
  for (const auto& key : held)
    fuzz::check(reread->object(key).has_value(), "a save keeps the other keys");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fuzz::fs::directory_iterator(folder)) ++entries;
  fuzz::check(entries == 1, "a save leaves the file alone in its folder");
  fuzz::fs::remove_all(folder);
  return 0;
}
