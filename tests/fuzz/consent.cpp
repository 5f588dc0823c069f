// The stored consent record's bytes, as the consent manager reads them: from the application's
// preferences file, or (first byte odd) from the file every application shared before, which
// is taken over. Whatever was read, a manager started afterwards must read the same record, and
// a decision recorded then must read back as it was sent.
#include <cstring>
#include <fstream>

#include "FuzzWorld.h"
#include "consent/ConsentManager.h"
#include "consent/ConsentStringsCheck.h"
#include "net/JsonReading.h"
#include "zelvora/Log.h"
#include "zelvora/platform/Directories.h"
#include "zelvora/platform/HostEnvironment.h"

using namespace zelvora;

namespace {

void checkRecord(const JSON& record) {
  static const std::vector<std::string> states = {
      "UNKNOWN", "NOT_EEA_USER", "CONSENT_PERSONALIZED_ADS", "CONSENT_NON_PERSONALIZED_ADS"};
  const JSON& state = member(record, "state");
  fuzz::check(state.is_string() && std::find(states.begin(), states.end(), state) != states.end(),
              "the record's state is one of the four");
  const JSON& changed = member(record, "changed");
  fuzz::check(changed.is_boolean(), "the record says whether it changed");
  if (changed.get<bool>())
    fuzz::check(member(record, "wording").is_string() &&
                    member(record, "lastChangedTs").is_number_integer(),
                "a changed record has its wording and time");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setLogSink([](std::string_view) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static int worlds = 0;
  const fuzz::fs::path folder = fuzz::scratchFolder() / ("consent-" + std::to_string(++worlds));
  platform::HostEnvironment env;
  env.systemVersion = "12";
  env.bundleIdentifier = "com.example.fuzz";
  env.configDirectory = folder / "config";
  env.cachesDirectory = folder / "caches";
  env.temporaryDirectory = folder / "tmp";
  platform::setHostEnvironment(env);
  const bool former = data[0] % 2 == 1;
  const auto where = former ? fuzz::fs::path(env.configDirectory) : *platform::configDirectory();
  fuzz::fs::create_directories(where);
  {
    std::ofstream(where / "com.zelvora.sdk.json", std::ios::binary)
        << fuzz::text(data + 1, size - 1);
  }

  ConsentManager first;
  checkRecord(first.consentData());
  fuzz::check(!whyInvalid(first.strings()), "stored consent strings read back only when valid");
  const JSON sent = first.getAndFlush();
  checkRecord(sent);
  const JSON flushed = first.consentData();
  fuzz::check(flushed["changed"] == false, "a request takes the change");

  ConsentManager second;
  fuzz::check(second.consentData() == flushed, "a new start reads the same record");
  const auto state = static_cast<ConsentState>(size % 4);
  const std::string wording = fuzz::text(data + 1, std::min<std::size_t>(size - 1, 40));
  std::int64_t time = 0;
  std::memcpy(&time, data + size - std::min<std::size_t>(size, 8), std::min<std::size_t>(size, 8));
  second.set(state, wording, time);
  checkRecord(second.consentData());

  ConsentManager third;
  fuzz::check(serialize(third.consentData()) == serialize(second.consentData()),
              "a recorded decision reads back as it is sent");
  fuzz::fs::remove_all(folder);
  return 0;
}
