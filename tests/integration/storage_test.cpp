// The application's folders on disk, and what other processes can do to them: a host killed
// while it records consent, and hosts sharing one temporary directory.
#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "consent/ConsentManager.h"
#include "support/ConsentLoop.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"
#include "tools/SdkDirectories.h"
#include "zelvora/platform/Directories.h"

extern char** environ;

namespace zelvora::test {
namespace {

const fs::path kAssets = ZELVORA_SERVER_ASSETS_DIR;
const std::string kUid = std::to_string(::geteuid());

/// A run of `storage_child`, its standard output piped to the test; killed when destroyed.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    args.insert(args.begin(), ZELVORA_STORAGE_CHILD);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    output_ = out[0];
  }
  ~Child() {
    kill();
    ::close(output_);
  }
  pid_t pid() const { return pid_; }

  /// Reads the child's lines until one equals `line`; false at their end or 20 s without one.
  bool waitFor(const std::string& line) {
    for (;;) {
      for (auto end = buffer_.find('\n'); end != std::string::npos; end = buffer_.find('\n')) {
        const std::string read = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        seen += read + "; ";
        if (read == line) return true;
      }
      pollfd ready{output_, POLLIN, 0};
      char chunk[512];
      const ssize_t n = ::poll(&ready, 1, 20'000) > 0 ? ::read(output_, chunk, sizeof chunk) : 0;
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  /// Kills the child and reaps it: its locks go with it.
  void kill() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  /// Every line read so far, for failure messages.
  std::string seen;

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffer_;
};

/// Polls `done` for at most 20 s.
bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

int mode(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : -1;
}

std::vector<std::string> names(const fs::path& folder) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    found.push_back(entry.path().filename());
  std::sort(found.begin(), found.end());
  return found;
}

using StorageTest = SdkTest;

// The application's folders are its own (by bundle identifier), owner-only even where they
// existed with a looser mode, and a link where a folder belongs is refused: nothing is written
// through it.
TEST_F(StorageTest, ApplicationFoldersAreOwnerOnlyAndNeverFollowLinks) {
  fs::create_directories(folder.path() / "caches" / "zelvora");
  fs::permissions(folder.path() / "caches" / "zelvora", fs::perms::all);
  const fs::path container = folder.path() / "tmp" / ("zelvora-" + kUid) / "default";
  const fs::path run = sdkTemporaryDirectory();
  EXPECT_EQ(run.parent_path(), container);
  EXPECT_EQ(run.filename().string().rfind("run-" + std::to_string(::getpid()) + "-", 0), 0u);
  EXPECT_EQ(sdkTemporaryDirectory(), run) << "one run folder for the process's life";
  EXPECT_EQ(sdkCachesDirectory(), folder.path() / "caches" / "zelvora" / "default");
  ConsentManager().set(ConsentState::notEeaUser, "w", 1);
  for (const auto& made :
       {container.parent_path(), container, run, sdkCachesDirectory(),
        sdkCachesDirectory().parent_path(), folder.path() / "config" / "zelvora" / "default"})
    EXPECT_EQ(mode(made), 0700) << made;
  EXPECT_EQ(mode(folder.path() / "config" / "zelvora" / "default" / "com.zelvora.sdk.json"), 0600);

  auto env = environment();
  env.bundleIdentifier = "com.example/../game one";
  platform::setHostEnvironment(env);
  EXPECT_EQ(sdkCachesDirectory(), folder.path() / "caches" / "zelvora" / "com.example_.._game_one");

  const fs::path outside = folder.path() / "outside";
  fs::create_directories(outside);
  env.bundleIdentifier = "com.example.linked";
  platform::setHostEnvironment(env);
  for (const auto& base : {"tmp", "caches", "config"}) {
    const fs::path root =
        folder.path() / base / (base == std::string("tmp") ? "zelvora-" + kUid : "zelvora");
    fs::create_directory_symlink(outside, root / "com.example.linked");
  }
  EXPECT_TRUE(sdkTemporaryDirectory().empty());
  EXPECT_EQ(logCount("refusing folder "), 1);
  FileLoader::loadFile("http://127.0.0.1:1/a.png", [](auto&) {});
  FileLoader::loadZelFile("http://127.0.0.1:1/b.png", [](auto&) {});
  ConsentManager consent;
  consent.set(ConsentState::consentPersonalizedAds, "w", 2);
  EXPECT_EQ(consent.state(), ConsentState::consentPersonalizedAds) << "kept in memory";
  // The caches' file would have gone to the run folder instead, refused too.
  EXPECT_EQ(logCount("refusing folder "), 5);
  EXPECT_TRUE(fs::is_empty(outside));
}

// What stands where the consent record belongs is read only when it is a regular file of at
// most 1 MiB, reached without following a link and opened without waiting for a writer: any
// other thing is set aside with one line, as a corrupt record is, and the next decision
// replaces it (a folder cannot be replaced: the decision stays in memory, with its line).
TEST_F(StorageTest, OnlyARegularRecordWithinItsSizeIsRead) {
  const fs::path record = *platform::configDirectory() / "com.zelvora.sdk.json";
  const std::string stored =
      R"({"consentState": 2, "consentChanged": true, "consentWordingChanged": "stored",
          "consentLastChangeTs": 5000})";
  const fs::path elsewhere = folder.path() / "elsewhere.json";
  struct Row {
    const char* name;
    std::function<void()> place;
    const char* why;
    bool replaced;
  };
  const std::vector<Row> rows = {
      {"link to a record", [&] { fs::create_symlink(elsewhere, record); }, "is a symbolic link",
       true},
      {"FIFO", [&] { ASSERT_EQ(::mkfifo(record.c_str(), 0600), 0); }, "is not a regular file",
       true},
      {"folder", [&] { fs::create_directories(record / "inside"); }, "is not a regular file",
       false},
      {"2 MiB record", [&] { writeFile(record, stored + std::string(2 << 20, ' ')); },
       "is larger than 1048576 bytes", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile(elsewhere, stored);
    row.place();
    lines.clear();
    ConsentManager consent;
    EXPECT_EQ(consent.state(), ConsentState::unknown);
    EXPECT_EQ(lines, std::vector<std::string>{"preferences file " + record.string() + " " +
                                              row.why + "; starting empty"});
    consent.set(ConsentState::notEeaUser, "new", 7);
    EXPECT_EQ(consent.state(), ConsentState::notEeaUser);
    EXPECT_EQ(readFile(elsewhere), stored) << "written through the link";
    if (row.replaced) {
      EXPECT_EQ(ConsentManager().state(), ConsentState::notEeaUser);
      EXPECT_EQ(mode(record), 0600);
    } else {
      EXPECT_EQ(logCount("could not save preferences file " + record.string()), 1);
    }
    fs::remove_all(record);
  }
}

/// Makes `path` immutable (even root cannot write in it) for the guard's life; false when the
/// file system or the process's privileges do not allow it.
class Immutable {
 public:
  explicit Immutable(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    int flags = 0;
    if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
    flags |= FS_IMMUTABLE_FL;
    set_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ~Immutable() {
    int flags = 0;
    if (set_ && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  explicit operator bool() const { return set_; }

 private:
  int fd_;
  bool set_ = false;
};

// Folders that cannot be written (a read-only file system) are named once each, however often
// they are asked for, and the SDK goes on: consent in memory, its own files in the run folder.
TEST_F(StorageTest, ReadOnlyFoldersAreNamedOnceAndTheSdkGoesOn) {
  LoopbackServer files;
  files.http.Get("/mraid.js", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("window.mraid = {};", "text/javascript");
  });
  files.start();
  const fs::path config = *platform::configDirectory();
  const fs::path caches = sdkCachesDirectory();
  const Immutable lockedConfig(config);
  const Immutable lockedCaches(caches);
  if (!lockedConfig || !lockedCaches) GTEST_SKIP() << "cannot make a folder immutable here";

  for (int attempt = 0; attempt < 2; ++attempt) {
    ConsentManager consent;
    consent.set(ConsentState::notEeaUser, "w" + std::to_string(attempt), 1);
    EXPECT_EQ(consent.state(), ConsentState::notEeaUser);
    std::string path;
    FileLoader::loadZelFile(files.url("/mraid.js"), [&](const std::string& got) { path = got; });
    ASSERT_TRUE(runLoop().runUntil([&] { return !path.empty(); }, 20));
    EXPECT_EQ(fs::path(path).parent_path().parent_path(), sdkTemporaryDirectory());
    EXPECT_EQ(readFile(path), "window.mraid = {};");
  }
  EXPECT_EQ(logCount("cannot write in folder "), 2);
  EXPECT_TRUE(logged("cannot write in folder " + config.string() + ": "));
  EXPECT_TRUE(logged("cannot write in folder " + caches.string() + ": "));
  EXPECT_TRUE(fs::is_empty(config));
  EXPECT_TRUE(fs::is_empty(caches));
}

// A host killed at any moment while it records consent leaves one of the records it wrote,
// never a mix of two (nor of two sets of consent strings), and the next start removes the
// temporary file a cut save left.
// ZELVORA_KILLS sets the number of kills (scripts/kill-test runs many).
TEST_F(StorageTest, KilledWhileRecordingConsentLeavesAWholeRecord) {
  const char* wanted = std::getenv("ZELVORA_KILLS");
  const int kills = wanted != nullptr ? std::max(1, std::atoi(wanted)) : 30;
  auto env = environment();
  env.bundleIdentifier = "com.example.killed";
  platform::setHostEnvironment(env);
  const fs::path record = *platform::configDirectory() / "com.zelvora.sdk.json";
  const auto temporaries = [&] {
    long count = 0;
    for (const auto& name : names(record.parent_path())) count += name != "com.zelvora.sdk.json";
    return count;
  };

  std::mt19937 random(std::random_device{}());
  int cutShort = 0;
  for (int kill = 0; kill < kills; ++kill) {
    Child writer({"consent", env.configDirectory, "com.example.killed"});
    ASSERT_TRUE(writer.waitFor("written")) << writer.seen;
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    writer.kill();

    const auto stored = nlohmann::json::parse(readFile(record), nullptr, false);
    ASSERT_TRUE(stored.is_object()) << "after kill " << kill << ": " << readFile(record);
    const std::string wording = stored.value("consentWordingChanged", "");
    const unsigned index = wording.size() > 8 ? std::stoul(wording.substr(8)) : kConsentEntries;
    ASSERT_LT(index, kConsentEntries) << "after kill " << kill << ": " << stored.dump();
    const auto entry = consentEntry(index);
    ASSERT_EQ(stored["consentState"], static_cast<int>(entry.state)) << stored.dump();
    ASSERT_EQ(stored["consentLastChangeTs"], entry.seconds * 1000) << stored.dump();
    ASSERT_TRUE(stored["consentChanged"].is_boolean()) << stored.dump();
    // The strings are saved right after their decision: its own, or the decision's before.
    const ConsentStrings strings{
        stored.value("consentTcfString", ""), stored.value("consentGppString", ""),
        stored.value("consentGppSid", std::vector<int>{}), stored.value("consentUsPrivacy", "")};
    const auto previous = consentEntry(index + kConsentEntries - 1);
    ASSERT_TRUE(strings == entry.strings || strings == previous.strings) << stored.dump();

    cutShort += temporaries() > 0;
    ConsentManager restarted;
    EXPECT_EQ(restarted.state(), entry.state);
    EXPECT_EQ(restarted.strings(), strings);
    ASSERT_EQ(temporaries(), 0) << "after kill " << kill;
  }
  std::cout << kills << " kills, " << cutShort << " of them during a save" << std::endl;
}

// Hosts sharing one temporary directory, of one application or of two, each initialising
// while the others' downloads are finished or under way: every file arrives whole and stays.
// Run folders are emptied once their process is gone, and only then.
TEST_F(StorageTest, HostsSharingATemporaryDirectoryKeepEachOthersDownloads) {
  const std::string banner = readFile(kAssets / "sample-banner.png");
  const std::string video = readFile(kAssets / "sample-video.webm");
  ASSERT_FALSE(banner.empty() || video.empty());
  auto release = std::make_shared<std::atomic<bool>>(false);
  std::atomic<int> videoRequests = 0;
  LoopbackServer files;
  files.http.Get("/banner.png", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(banner, "image/png");
  });
  // Half the video at once, the rest when the test lets go.
  files.http.Get("/video.webm", [&, release](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(video.size(), "video/webm",
                                  [&, release](std::size_t offset, std::size_t, auto& sink) {
                                    if (offset == 0) {
                                      sink.write(video.data(), video.size() / 2);
                                      ++videoRequests;
                                      return true;
                                    }
                                    eventually([&] { return release->load(); });
                                    sink.write(video.data() + offset, video.size() - offset);
                                    return true;
                                  });
  });
  files.start();
  struct LetGo {
    std::shared_ptr<std::atomic<bool>> flag;
    ~LetGo() { *flag = true; }
  } letGo{release};

  const JSON bannerAd = adObject("b", "banner", {{"ctv", files.url("/banner.png")}});
  const JSON videoAd = adObject(
      "v", "video", {{"video", files.url("/video.webm")}, {"duration", 8}, {"skippableIn", 0}});
  startServer(campaignsFor("app", {{"banner", placementObject("enabled", JSON::array({bannerAd}))},
                                   {"video", placementObject("enabled", JSON::array({videoAd}))}}));
  const fs::path root = folder.path() / "shared";
  const fs::path one = root / "tmp" / ("zelvora-" + kUid) / "com.example.one";
  const fs::path two = root / "tmp" / ("zelvora-" + kUid) / "com.example.two";
  fs::create_directories(one / "run-1-gone");  // a process's that is gone
  writeFile(one / "run-1-gone" / ".lock", "");
  const auto host = [&](const std::string& bundle) {
    return std::make_unique<Child>(
        std::vector<std::string>{"host", root.string(), bundle, server->endpointUrl()});
  };
  const auto runFolder = [&](const fs::path& container, const Child& child) {
    for (const auto& name : names(container))
      if (name.rfind("run-" + std::to_string(child.pid()) + "-", 0) == 0) return container / name;
    return fs::path();
  };
  const auto expectWholeFiles = [&](const fs::path& run) {
    ASSERT_FALSE(run.empty());
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(run))
      if (entry.is_regular_file()) found[entry.path().filename()] = readFile(entry.path());
    EXPECT_EQ(found.size(), 3u) << run;  // the lock file, the banner, the video
    EXPECT_TRUE(found["banner.png"] == banner) << run;
    EXPECT_TRUE(found["video.webm"] == video) << run;
  };

  auto first = host("com.example.one");
  ASSERT_TRUE(first->waitFor("onAdReady:banner")) << first->seen;
  ASSERT_TRUE(eventually([&] { return videoRequests == 1; }));
  EXPECT_EQ(names(one), std::vector<std::string>{runFolder(one, *first).filename()});

  auto same = host("com.example.one");
  auto other = host("com.example.two");
  ASSERT_TRUE(same->waitFor("onAdReady:banner")) << same->seen;
  ASSERT_TRUE(other->waitFor("onAdReady:banner")) << other->seen;
  ASSERT_TRUE(eventually([&] { return videoRequests == 3; }));
  *release = true;
  for (auto* child : {first.get(), same.get(), other.get()})
    ASSERT_TRUE(child->waitFor("onAdReady:video")) << child->seen;
  expectWholeFiles(runFolder(one, *first));
  expectWholeFiles(runFolder(one, *same));
  expectWholeFiles(runFolder(two, *other));

  // Once the first two are gone, the next host of their application empties their folders.
  first->kill();
  same->kill();
  auto next = host("com.example.one");
  ASSERT_TRUE(next->waitFor("onInit:[banner,video]")) << next->seen;
  EXPECT_EQ(names(one), std::vector<std::string>{runFolder(one, *next).filename()});
  expectWholeFiles(runFolder(two, *other));
}

}  // namespace
}  // namespace zelvora::test
