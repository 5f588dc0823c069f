#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "consent/ConsentManager.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

namespace fs = std::filesystem;

class ConsentTest : public SdkTest {
 protected:
  fs::path configDirectory() const { return folder.path() / "config"; }
  fs::path preferencesFile() const {
    return configDirectory() / (std::string(ConsentManager::suiteName) + ".json");
  }

  void writePreferences(const std::string& text) {
    fs::create_directories(configDirectory());
    std::ofstream(preferencesFile(), std::ios::binary) << text;
  }

  /// The preferences file parsed; discarded (not an object) when it is not valid JSON.
  nlohmann::json readPreferences() const {
    std::ifstream in(preferencesFile(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return nlohmann::json::parse(text.str(), nullptr, false);
  }
};

const JSON kUnchanged = {{"state", "UNKNOWN"}, {"changed", false}};

TEST_F(ConsentTest, FreshInstallIsUnknownAndUnchanged) {
  ConsentManager consent;
  EXPECT_EQ(consent.state(), ConsentState::unknown);
  EXPECT_EQ(consent.getAndFlush(), kUnchanged);
  EXPECT_FALSE(fs::exists(preferencesFile()));
}

TEST_F(ConsentTest, SetRecordsWhenStateOrWordingDiffers) {
  ConsentManager consent;
  consent.set(ConsentState::unknown, "", 10);
  EXPECT_EQ(consent.consentData(), kUnchanged);

  // New state under the same (empty) wording.
  consent.set(ConsentState::notEeaUser, "", 11);
  EXPECT_EQ(consent.getAndFlush(), (JSON{{"state", "NOT_EEA_USER"},
                                         {"changed", true},
                                         {"wording", ""},
                                         {"lastChangedTs", 11000}}));
  // Same state, new wording.
  consent.set(ConsentState::notEeaUser, "Dialog v2", 12);
  EXPECT_EQ(consent.getAndFlush()["lastChangedTs"], 12000);
  // Both the same: nothing, not even the time.
  consent.set(ConsentState::notEeaUser, "Dialog v2", 13);
  EXPECT_EQ(consent.consentData(), (JSON{{"state", "NOT_EEA_USER"}, {"changed", false}}));

  consent.set(ConsentState::consentNonPersonalizedAds, "Dialog v3", 14);
  EXPECT_EQ(consent.state(), ConsentState::consentNonPersonalizedAds);
  EXPECT_EQ(consent.consentData()["state"], "CONSENT_NON_PERSONALIZED_ADS");
}

TEST_F(ConsentTest, GetAndFlushSendsTheChangeOnce) {
  ConsentManager consent;
  const std::int64_t seconds = 1'700'000'123;
  consent.set(ConsentState::consentPersonalizedAds, "We use your data", seconds);
  const JSON first = consent.getAndFlush();
  EXPECT_EQ(first, (JSON{{"state", "CONSENT_PERSONALIZED_ADS"},
                         {"changed", true},
                         {"wording", "We use your data"},
                         {"lastChangedTs", seconds * 1000}}));
  EXPECT_TRUE(first["lastChangedTs"].is_number_integer());
  EXPECT_EQ(consent.getAndFlush(),
            (JSON{{"state", "CONSENT_PERSONALIZED_ADS"}, {"changed", false}}));
  // The flushed mark is persisted too.
  EXPECT_EQ(readPreferences()["consentChanged"], false);

  // An absurd timestamp must not overflow.
  consent.set(ConsentState::notEeaUser, "x", std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(consent.getAndFlush()["lastChangedTs"], std::numeric_limits<std::int64_t>::max());
}

TEST_F(ConsentTest, ControllerReadingDoesNotConsumeTheChange) {
  sdk().updateContestState(ConsentState::notEeaUser, "Dialog", 50);
  EXPECT_EQ(sdk().getConsentState(), ConsentState::notEeaUser);
  const JSON expected = {{"state", "NOT_EEA_USER"},
                         {"changed", true},
                         {"wording", "Dialog"},
                         {"lastChangedTs", 50000}};
  EXPECT_EQ(sdk().getConsentData(), expected);
  EXPECT_EQ(sdk().getConsentData(), expected);
  // Only the request consumes it.
  sdk().consentManager().getAndFlush();
  EXPECT_EQ(sdk().getConsentData(), (JSON{{"state", "NOT_EEA_USER"}, {"changed", false}}));
}

TEST_F(ConsentTest, ResetStateIsAChangeTimedNow) {
  ConsentManager consent;
  consent.set(ConsentState::consentPersonalizedAds, "w", 5);
  consent.getAndFlush();
  runLoop().advance(12.75);
  consent.resetState();
  const double expectedSeconds = std::trunc(runLoop().wallTime());
  EXPECT_EQ(consent.getAndFlush(), (JSON{{"state", "UNKNOWN"},
                                         {"changed", true},
                                         {"wording", ""},
                                         {"lastChangedTs", std::int64_t(expectedSeconds) * 1000}}));
}

TEST_F(ConsentTest, RecordSurvivesRestartAndIsReplacedAtomically) {
  {
    ConsentManager consent;
    consent.set(ConsentState::consentNonPersonalizedAds, "Wording \"quoted\"", 1'650'000'000);
  }
  const nlohmann::json stored = readPreferences();
  ASSERT_TRUE(stored.is_object());
  EXPECT_EQ(stored["consentState"], 3);
  EXPECT_EQ(stored["consentChanged"], true);
  EXPECT_EQ(stored["consentWordingChanged"], "Wording \"quoted\"");
  EXPECT_EQ(stored["consentLastChangeTs"], 1'650'000'000'000);
  // Nothing but the record itself is left in the folder (no temporary file).
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(configDirectory())) files.push_back(entry.path());
  EXPECT_EQ(files, std::vector<fs::path>{preferencesFile()});

  ConsentManager restarted;
  EXPECT_EQ(restarted.state(), ConsentState::consentNonPersonalizedAds);
  EXPECT_EQ(restarted.getAndFlush(), (JSON{{"state", "CONSENT_NON_PERSONALIZED_ADS"},
                                           {"changed", true},
                                           {"wording", "Wording \"quoted\""},
                                           {"lastChangedTs", 1'650'000'000'000}}));
  ConsentManager afterFlush;
  EXPECT_EQ(afterFlush.consentData(),
            (JSON{{"state", "CONSENT_NON_PERSONALIZED_ADS"}, {"changed", false}}));
}

TEST_F(ConsentTest, UnreadableRecordReadsAsEmptyAndIsRepaired) {
  for (const std::string text : {"", "{\"consentState\": 2,", "[1, 2]", "\"text\""}) {
    SCOPED_TRACE("file: " + text);
    writePreferences(text);
    ConsentManager consent;
    EXPECT_EQ(consent.consentData(), kUnchanged);
    consent.set(ConsentState::notEeaUser, "w", 1);
    const nlohmann::json repaired = readPreferences();
    ASSERT_TRUE(repaired.is_object());
    EXPECT_EQ(repaired["consentState"], 1);
    EXPECT_EQ(repaired["consentWordingChanged"], "w");
  }
}

TEST_F(ConsentTest, StoredStateOutsideTheEnumerationReadsAsUnknown) {
  for (const std::string state : {"7", "-1", "\"2\""}) {
    SCOPED_TRACE("consentState: " + state);
    writePreferences(R"({"consentState": )" + state +
                     R"(, "consentChanged": true, "consentWordingChanged": "old",
                         "consentLastChangeTs": 4000})");
    ConsentManager consent;
    EXPECT_EQ(consent.state(), ConsentState::unknown);
    EXPECT_EQ(
        consent.consentData(),
        (JSON{
            {"state", "UNKNOWN"}, {"changed", true}, {"wording", "old"}, {"lastChangedTs", 4000}}));
  }
}

TEST_F(ConsentTest, UnwritableConfigDirectoryKeepsConsentInMemory) {
  // A regular file stands where the config directory's parent should be, so the directory
  // can be neither created nor written, whatever the user's permissions.
  std::ofstream(folder.path() / "blocker") << "not a folder";
  auto env = environment();
  env.configDirectory = (folder.path() / "blocker" / "config").string();
  platform::setHostEnvironment(env);

  ConsentManager consent;
  EXPECT_EQ(consent.consentData(), kUnchanged);
  consent.set(ConsentState::consentPersonalizedAds, "w", 3);
  EXPECT_EQ(consent.state(), ConsentState::consentPersonalizedAds);
  EXPECT_EQ(consent.getAndFlush()["changed"], true);
  EXPECT_EQ(consent.getAndFlush()["changed"], false);
  consent.resetState();
  EXPECT_EQ(consent.state(), ConsentState::unknown);

  ConsentManager restarted;  // nothing was persisted
  EXPECT_EQ(restarted.consentData(), kUnchanged);
  EXPECT_TRUE(fs::is_regular_file(folder.path() / "blocker"));
}

TEST_F(ConsentTest, WordingThatIsNotUtf8IsKeptWithoutThrowing) {
  // The wording comes from the host and may carry any bytes; no exception may reach it, and
  // the record must stay writable for the requests that follow.
  EXPECT_NO_THROW(sdk().updateContestState(ConsentState::notEeaUser, "Zustimmung \xFC", 9));
  EXPECT_EQ(sdk().getConsentState(), ConsentState::notEeaUser);
  EXPECT_NO_THROW(sdk().consentManager().getAndFlush());
  const nlohmann::json stored = readPreferences();
  ASSERT_TRUE(stored.is_object());
  EXPECT_EQ(stored["consentState"], 1);
  EXPECT_EQ(stored["consentChanged"], false);
  ConsentManager restarted;
  EXPECT_EQ(restarted.state(), ConsentState::notEeaUser);
}

}  // namespace
}  // namespace zelvora::test
