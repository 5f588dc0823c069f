#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

#include <gmock/gmock.h>

#include "consent/ConsentManager.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class ConsentTest : public SdkTest {
 protected:
  fs::path preferencesFile() const {
    return folder.path() / "config" / "zelvora" / "default" /
           (std::string(ConsentManager::suiteName) + ".json");
  }
  /// The preferences file parsed; discarded (not an object) when it is not valid JSON.
  nlohmann::json stored() const {
    return nlohmann::json::parse(readFile(preferencesFile()), nullptr, false);
  }
};

const JSON kUnchanged = {{"state", "UNKNOWN"}, {"changed", false}};

JSON change(const std::string& state, const std::string& wording, std::int64_t milliseconds) {
  return {
      {"state", state}, {"changed", true}, {"wording", wording}, {"lastChangedTs", milliseconds}};
}

// A decision is recorded when the state OR the wording differs, carries its time in
// milliseconds, and is handed out by getAndFlush exactly once.
TEST_F(ConsentTest, RecordsWhenStateOrWordingDiffers) {
  ConsentManager consent;
  consent.set(ConsentState::unknown, "", 10);
  EXPECT_EQ(consent.getAndFlush(), kUnchanged);

  consent.set(ConsentState::notEeaUser, "", 11);  // new state, same wording
  EXPECT_EQ(consent.getAndFlush(), change("NOT_EEA_USER", "", 11000));
  EXPECT_EQ(consent.getAndFlush(), (JSON{{"state", "NOT_EEA_USER"}, {"changed", false}}));
  EXPECT_EQ(stored()["consentChanged"], false) << "the flush is persisted too";

  consent.set(ConsentState::notEeaUser, "Dialog v2", 1'700'000'123);  // same state, new wording
  EXPECT_EQ(consent.consentData(), change("NOT_EEA_USER", "Dialog v2", 1'700'000'123'000));
  consent.getAndFlush();
  consent.set(ConsentState::notEeaUser, "Dialog v2", 13);  // both the same: nothing
  EXPECT_EQ(consent.consentData()["changed"], false);

  const auto huge = std::numeric_limits<std::int64_t>::max();  // must not overflow
  consent.set(ConsentState::consentPersonalizedAds, "x", huge);
  EXPECT_EQ(consent.getAndFlush()["lastChangedTs"], huge);

  runLoop().advance(12.75);
  consent.resetState();
  const auto now = std::int64_t(std::trunc(runLoop().wallTime())) * 1000;
  EXPECT_EQ(consent.getAndFlush(), change("UNKNOWN", "", now));
}

// The record is replaced atomically (no temporary file stays) and read back after a restart,
// the pending change included; a wording that is not UTF-8 neither throws nor breaks the file.
TEST_F(ConsentTest, RecordSurvivesRestart) {
  {
    ConsentManager consent;
    consent.set(ConsentState::consentNonPersonalizedAds, "Wording \"quoted\"", 1'650'000'000);
  }
  EXPECT_EQ(stored(), (nlohmann::json{{"consentState", 3},
                                      {"consentChanged", true},
                                      {"consentWordingChanged", "Wording \"quoted\""},
                                      {"consentLastChangeTs", 1'650'000'000'000}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(preferencesFile().parent_path()), {}), 1);

  ConsentManager restarted;
  EXPECT_EQ(restarted.getAndFlush(),
            change("CONSENT_NON_PERSONALIZED_ADS", "Wording \"quoted\"", 1'650'000'000'000));
  EXPECT_EQ(ConsentManager().consentData()["changed"], false);

  EXPECT_NO_THROW(restarted.set(ConsentState::notEeaUser, "Zustimmung \xFC", 9));
  EXPECT_NO_THROW(restarted.getAndFlush());
  EXPECT_EQ(stored()["consentState"], 1);
  EXPECT_EQ(ConsentManager().state(), ConsentState::notEeaUser);
}

// A file that is corrupt, empty, not an object or nested too deep reads as empty and is
// rewritten on the next change; a stored state outside 0..3 reads as unknown.
TEST_F(ConsentTest, UnusableRecordsReadAsUnknown) {
  fs::create_directories(preferencesFile().parent_path());
  for (const std::string text : {"", "{\"consentState\": 2,", "[1, 2]", "\"text\""}) {
    writeFile(preferencesFile(), text);
    ConsentManager consent;
    EXPECT_EQ(consent.consentData(), kUnchanged) << text;
    consent.set(ConsentState::notEeaUser, "w", 1);
    EXPECT_EQ(stored()["consentState"], 1) << text;
  }
  // Nested too deep to be copied or written out safely (a save indented it, at the square of
  // its depth): unusable too, and the rewrite is the record alone.
  writeFile(preferencesFile(), R"({"consentState": 2, "deep": )" + std::string(5000, '[') +
                                   std::string(5000, ']') + "}");
  ConsentManager deep;
  EXPECT_EQ(deep.consentData(), kUnchanged);
  deep.set(ConsentState::notEeaUser, "w", 1);
  EXPECT_LT(fs::file_size(preferencesFile()), 1000u);
  for (const std::string state : {"7", "-1", "4", "\"2\""}) {
    writeFile(preferencesFile(), R"({"consentState": )" + state +
                                     R"(, "consentChanged": true, "consentWordingChanged": "old",
                                     "consentLastChangeTs": 4000})");
    ConsentManager consent;
    EXPECT_EQ(consent.state(), ConsentState::unknown) << state;
    EXPECT_EQ(consent.consentData(), change("UNKNOWN", "old", 4000)) << state;
  }
}

// A record where every application kept it before is taken over once by each application
// without one of its own, keys and values unchanged, and left in place. At start the temporary
// files of saves cut short go, where their process is gone or they are older than a minute.
TEST_F(ConsentTest, FormerSharedRecordIsTakenOverOnceByEachApplication) {
  const fs::path former = folder.path() / "config" / "com.zelvora.sdk.json";
  const std::string text = R"({"consentState": 2, "consentChanged": true, "extra": [1],
      "consentWordingChanged": "old dialog", "consentLastChangeTs": 1600000000000})";
  writeFile(former, text);
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const auto temporary = [](const fs::path& record, pid_t pid) {
    return fs::path(record.string() + ".tmp" + std::to_string(pid));
  };
  fs::create_directories(preferencesFile().parent_path());
  for (const auto& record : {former, preferencesFile()}) {
    writeFile(temporary(record, gone), "{");
    writeFile(temporary(record, ::getppid()), "{");  // a live process's save
  }
  fs::last_write_time(temporary(former, ::getppid()),
                      fs::file_time_type::clock::now() - std::chrono::minutes(2));

  ConsentManager consent;
  EXPECT_EQ(consent.consentData(),
            change("CONSENT_PERSONALIZED_ADS", "old dialog", 1'600'000'000'000));
  EXPECT_EQ(stored(), nlohmann::json::parse(text));
  EXPECT_FALSE(fs::exists(temporary(former, gone)));
  EXPECT_FALSE(fs::exists(temporary(preferencesFile(), gone)));
  EXPECT_FALSE(fs::exists(temporary(former, ::getppid())));
  EXPECT_TRUE(fs::exists(temporary(preferencesFile(), ::getppid())));

  consent.set(ConsentState::notEeaUser, "new dialog", 5);
  EXPECT_EQ(ConsentManager().state(), ConsentState::notEeaUser) << "taken over once only";
  EXPECT_EQ(readFile(former), text);
  auto env = environment();
  env.bundleIdentifier = "com.example.other";
  platform::setHostEnvironment(env);
  EXPECT_EQ(ConsentManager().state(), ConsentState::consentPersonalizedAds);
}

const ConsentStrings kStrings{"CPzHq4APzHq4AAHABBENC-CgAP_AAH_AAAqIJNNf.YAAAAAAAAAAA",
                              "DBABMA~CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA",
                              {2, 6},
                              "1YNN"};

// The strings of the wrong shape are refused whole, with one console line naming why, and the
// former ones stay; every shape a real string takes, and none at all, is kept.
TEST_F(ConsentTest, ConsentStringsOfTheWrongShapeAreRefused) {
  const std::string usPrivacy =
      "the US privacy string is not 4 characters: \"1\" then Y, N or - three times";
  const std::pair<ConsentStrings, std::string> cases[] = {
      {kStrings, ""},
      {{}, ""},
      {{.tcfString = "CO.x~y+/=_-", .usPrivacy = "1---"}, ""},
      {{.gppString = "DBABMA"}, ""},
      {{.tcfString = std::string(8192, 'C')}, ""},
      {{.tcfString = std::string(8193, 'C')}, "the TC string is longer than 8192 bytes"},
      {{.tcfString = "CPzH\nq4"}, "the TC string holds byte 0x0A at offset 4"},
      {{.gppString = "DBA BMA"}, "the GPP string holds byte 0x20 at offset 3"},
      {{.gppString = "DB\xC3\xA9"}, "the GPP string holds byte 0xC3 at offset 2"},
      {{.gppSectionIds = {2}}, "GPP section ids need a GPP string"},
      {{.gppString = "DBABMA", .gppSectionIds = {2, 0}}, "GPP section id 0 is not positive"},
      {{.gppString = "DBABMA", .gppSectionIds = std::vector<int>(65, 7)},
       "more than 64 GPP section ids"},
      {{.usPrivacy = "1YN"}, usPrivacy},
      {{.usPrivacy = "1YNNN"}, usPrivacy},
      {{.usPrivacy = "2YNN"}, usPrivacy},
      {{.usPrivacy = "1ynn"}, usPrivacy},
      {{.usPrivacy = "1YXN"}, usPrivacy},
  };
  for (const auto& [strings, refusal] : cases) {
    ASSERT_TRUE(sdk().setConsentStrings(kStrings));
    lines.clear();
    EXPECT_EQ(sdk().setConsentStrings(strings), refusal.empty()) << refusal;
    EXPECT_EQ(sdk().consentStrings(), refusal.empty() ? strings : kStrings) << refusal;
    if (refusal.empty())
      EXPECT_THAT(lines, IsEmpty());
    else
      EXPECT_THAT(lines, ElementsAre(StartsWith("ZelvoraFramework - setConsentStrings refused: " +
                                                refusal)));
  }
}

// The strings are saved with the record and read back after a restart, without marking a
// change; cleared, their keys go. A record without them (an older one) reads as before, and
// stored strings that do not read back valid read as none.
TEST_F(ConsentTest, ConsentStringsAreKeptWithTheRecord) {
  const nlohmann::json decision = {{"consentState", 2},
                                   {"consentChanged", false},
                                   {"consentWordingChanged", "w"},
                                   {"consentLastChangeTs", 5000}};
  {
    ConsentManager consent;
    consent.set(ConsentState::consentPersonalizedAds, "w", 5);
    consent.getAndFlush();
    EXPECT_EQ(consent.setStrings(kStrings), std::nullopt);
  }
  nlohmann::json withStrings = decision;
  withStrings.update({{"consentTcfString", kStrings.tcfString},
                      {"consentGppString", kStrings.gppString},
                      {"consentGppSid", {2, 6}},
                      {"consentUsPrivacy", "1YNN"}});
  EXPECT_EQ(stored(), withStrings);

  ConsentManager restarted;
  EXPECT_EQ(restarted.strings(), kStrings);
  EXPECT_EQ(restarted.consentData(), (JSON{{"state", "CONSENT_PERSONALIZED_ADS"},
                                           {"changed", false},
                                           {"tcfString", kStrings.tcfString},
                                           {"gppString", kStrings.gppString},
                                           {"gppSid", {2, 6}},
                                           {"usPrivacy", "1YNN"}}));
  EXPECT_EQ(restarted.setStrings({.usPrivacy = "1-N-"}), std::nullopt);
  EXPECT_EQ(ConsentManager().strings(), ConsentStrings{.usPrivacy = "1-N-"});
  EXPECT_EQ(restarted.setStrings({}), std::nullopt);
  EXPECT_EQ(stored(), decision);

  for (const std::string kept : {"", R"(, "consentGppSid": "2,6", "consentGppString": "DBA")",
                                 R"(, "consentTcfString": "CP\u000Ax")",
                                 R"(, "consentGppSid": [2, 0.5], "consentGppString": "DBA")",
                                 R"(, "consentGppSid": [2, 4294967298], "consentGppString": "DBA")",
                                 R"(, "consentGppSid": [2], "consentUsPrivacy": "1YNN")"}) {
    writeFile(preferencesFile(), R"({"consentState": 2, "consentChanged": true,
        "consentWordingChanged": "old", "consentLastChangeTs": 4000)" +
                                     kept + "}");
    ConsentManager consent;
    EXPECT_EQ(consent.consentData(), change("CONSENT_PERSONALIZED_ADS", "old", 4000)) << kept;
    EXPECT_EQ(consent.strings(), ConsentStrings{}) << kept;
  }
}

TEST_F(ConsentTest, UnwritableConfigDirectoryKeepsConsentInMemory) {
  // A regular file stands where the config directory's parent should be, so the directory
  // can be neither created nor written, whatever the user's permissions.
  writeFile(folder.path() / "blocker", "not a folder");
  auto env = environment();
  env.configDirectory = folder.path() / "blocker" / "config";
  platform::setHostEnvironment(env);

  ConsentManager consent;
  EXPECT_EQ(consent.consentData(), kUnchanged);
  consent.set(ConsentState::consentPersonalizedAds, "w", 3);
  EXPECT_EQ(consent.state(), ConsentState::consentPersonalizedAds);
  EXPECT_EQ(consent.getAndFlush()["changed"], true);
  EXPECT_EQ(consent.getAndFlush()["changed"], false);
  EXPECT_EQ(ConsentManager().consentData(), kUnchanged);  // nothing was persisted
}

}  // namespace
}  // namespace zelvora::test
